#include "app/dialogs/TProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
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

// Turning blades, so the window looks alive between progress steps.
class TProgressForm::Spinner final : public QWidget {
 public:
  explicit Spinner(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    setFixedSize(28, 28);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
      step_ = (step_ + 1) % 12;
      update();
    });
    timer_->start();
  }
  void Stop() { timer_->stop(); }
  bool Running() const { return timer_->isActive(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().highlight().color();
    for (int i = 0; i < 12; ++i) {
      QColor c = base;
      c.setAlphaF(static_cast<float>(((i + 12 - step_) % 12 + 1) / 12.0));
      p.setPen(QPen(c, 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(0, -6), QPointF(0, -12));
      p.rotate(30);
    }
  }

 private:
  QTimer* timer_;
  int step_ = 0;
};

TProgressForm::TProgressForm(QWidget* parent)
    : QDialog(parent),
      first_(new QLabel(this)),
      second_(new QLabel(this)),
      bar_(new Bar(*this)),
      spinner_(new Spinner(this)),
      cancel_(new QPushButton("Cancel", this)) {
  setWindowTitle("Exporting Wave File...");
  setModal(true);
  second_->setMinimumWidth(320);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* lines = new QVBoxLayout;
  lines->addWidget(first_);
  lines->addWidget(second_);
  top->addWidget(spinner_, 0, Qt::AlignTop);
  top->addLayout(lines, 1);
  layout->addLayout(top);
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
  if (fraction_ >= 1.0) spinner_->Stop();
  bar_->update();
}

bool TProgressForm::Cancelled() {
  QApplication::processEvents();
  return cancelled_;
}

bool TProgressForm::Animating() const { return spinner_->Running(); }

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
