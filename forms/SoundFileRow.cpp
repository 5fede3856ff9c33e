#include "forms/SoundFileRow.h"

#include <QLabel>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "files/SoundFilePaths.h"
#include "files/wavefiles/SoundFileReader.h"

namespace tg {

std::string SoundFileTip(const std::string& name, bool missing) {
  const std::string path = ResolveSoundFile(name);
  if (!missing) return path;
  std::string why = SoundFileProblem(path);
  return path + "\n" + (why.empty() ? "it cannot be read" : why);
}

SoundFileRow::SoundFileRow(QWidget* parent, int x, int y, int width, Slot slot)
    : QObject(parent),
      slot_(std::move(slot)),
      label_(new QLabel("File:", parent)),
      open_(new QToolButton(parent)),
      panel_(new QLabel(parent)),
      loads_(new QTimer(this)) {
  label_->adjustSize();
  label_->move(x, y + (kHeight - label_->height()) / 2);
  open_->setIcon(parent->style()->standardIcon(QStyle::SP_DirOpenIcon));
  open_->setToolTip("Choose the sound file");
  open_->setGeometry(label_->geometry().right() + 6, y, kHeight, kHeight);
  const int panelX = open_->geometry().right() + 4;
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel_->setGeometry(panelX, y, x + width - panelX, kHeight);
  connect(open_, &QToolButton::clicked, this, [this] { emit OpenClicked(); });
  // A file being loaded may yet fail: the panel follows until it is done.
  loads_->setInterval(100);
  connect(loads_, &QTimer::timeout, this, [this] { Refresh(); });
}

QString SoundFileRow::PanelCaption(std::string_view storedName, bool missing, bool cut) {
  QString name = QString::fromStdString(std::string(storedName));
  if (missing) return name + " !";
  return cut ? name + " (cut)" : name;
}

bool SoundFileRow::WatchingLoads() const { return loads_->isActive(); }

void SoundFileRow::Refresh() {
  // Asked first: once a load is seen finished, its outcome below is final.
  // Asked after, a load ending in between would leave the mark unshown.
  const bool loading = slot_.loading();
  const std::string& name = slot_.name();
  const bool missing = !name.empty() && (!SoundFileExists(name) || slot_.loadFailed());
  // Shown as the document would name it; the tip gives the whole path.
  const bool cut = !loading && slot_.loadCut && slot_.loadCut();
  const QString caption = PanelCaption(MakeRelativePath(name), missing, cut);
  // A long name keeps its end, where the file's own name and the mark are.
  const int room = panel_->contentsRect().width() - 2 * panel_->margin() - 4;
  panel_->setText(panel_->fontMetrics().elidedText(caption, Qt::ElideLeft, room));
  QString tip = name.empty() ? QString() : QString::fromStdString(SoundFileTip(name, missing));
  if (cut) tip += "\nThe file lasts longer than ten minutes: only its first ten play.";
  panel_->setToolTip(tip);
  if (loading && !loads_->isActive()) {
    loads_->start();
  } else if (!loading) {
    loads_->stop();
  }
}

}  // namespace tg
