#include "app/dialogs/TProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tg {

class TProgressForm::Bar final : public QWidget {
 public:
  explicit Bar(TProgressForm& form) : form_(form) { setFixedHeight(14); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const QColor lit = palette().highlight().color();
    for (int i = 0; i < form_.LitBlocks(); ++i) p.fillRect(2 + i * 8, 2, 6, height() - 4, lit);
  }

 private:
  TProgressForm& form_;
};

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent),
      first_(new QLabel(this)),
      second_(new QLabel(this)),
      bar_(new Bar(*this)),
      cancel_(new QPushButton("Cancel", this)) {
  setWindowTitle("Exporting Wave File...");
  setModal(true);
  second_->setMinimumWidth(320);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(first_);
  layout->addWidget(second_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
}

void TProgressForm::Stage(const std::string& firstLine, const std::string& secondLine) {
  first_->setText(QString::fromStdString(firstLine));
  second_->setText(QString::fromStdString(secondLine));
}

void TProgressForm::Progress(double fraction) {
  fraction_ = std::clamp(fraction, 0.0, 1.0);
  bar_->update();
}

bool TProgressForm::Cancelled() {
  QApplication::processEvents();
  return cancelled_;
}

QString TProgressForm::FirstLine() const { return first_->text(); }
QString TProgressForm::SecondLine() const { return second_->text(); }

int TProgressForm::LitBlocks() const {
  const int blocks = (bar_->width() - 4) / 8;  // whole blocks only
  return static_cast<int>(blocks * fraction_);
}

void TProgressForm::closeEvent(QCloseEvent* event) {
  Cancel();
  event->ignore();
}

}  // namespace tg
