#include "app/help/THelpBrowser.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tg {
namespace {

constexpr const char* kContents = "qrc:/help/index.html";

}  // namespace

THelpBrowser::THelpBrowser(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
  setWindowTitle("Tonegarden Help");
  setModal(false);
  resize(560, 620);
  browser_->setOpenExternalLinks(true);
  // QTextBrowser does not follow <link> stylesheets; the pages share one.
  QFile css(":/help/style.css");
  if (css.open(QIODevice::ReadOnly)) {
    browser_->document()->setDefaultStyleSheet(QString::fromUtf8(css.readAll()));
  }
  auto* back = new QPushButton("Back", this);
  auto* contents = new QPushButton("Contents", this);
  auto* close = new QPushButton("Close", this);
  connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  connect(contents, &QPushButton::clicked, this, [this] { ShowContents(); });
  connect(close, &QPushButton::clicked, this, &QDialog::hide);
  back->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(contents);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
}

QString THelpBrowser::PageFor(int helpNumber) {
  switch (helpNumber) {
    case 1000:
      return "qrc:/help/soundin.html";
    case 1001:
      return "qrc:/help/soundout.html";
    case 1002:
      return "qrc:/help/testgen.html";
    case 1008:
      return "qrc:/help/sdelay.html";
    case 1014:
    case 1015:
    case 1016:
      return "qrc:/help/mixers.html";
    default:
      return kContents;
  }
}

void THelpBrowser::ShowContents() { Show(kContents); }
void THelpBrowser::ShowTopic(int helpNumber) { Show(PageFor(helpNumber)); }

void THelpBrowser::Show(const QString& page) {
  browser_->setSource(QUrl(page));
  show();
  raise();
  activateWindow();
}

QString THelpBrowser::CurrentPage() const { return browser_->source().toString(); }
QString THelpBrowser::CurrentTitle() const { return browser_->documentTitle(); }

}  // namespace tg
