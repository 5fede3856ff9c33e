#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace tg {

// The program's help: HTML pages shipped inside the program, one per
// contraption type plus the contents, shown in a window of their own.
class THelpBrowser final : public QDialog {
  Q_OBJECT

 public:
  explicit THelpBrowser(QWidget* parent = nullptr);

  void ShowContents();
  // A type's page by its help number; the contents when there is none.
  void ShowTopic(int helpNumber);
  // The page a help number opens ("qrc:/help/sdelay.html"), or the contents.
  static QString PageFor(int helpNumber);
  QString CurrentPage() const;
  QString CurrentTitle() const;

 private:
  void Show(const QString& page);
  QTextBrowser* browser_;
};

}  // namespace tg
