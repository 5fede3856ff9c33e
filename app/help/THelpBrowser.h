#pragma once

#include <QDialog>
#include <QString>
#include <string>

class QTextBrowser;

namespace tg {

struct ContraptionDescriptor;
class TContraptionFactory;

// The program's help: HTML pages shipped inside the program, one per
// contraption type plus the contents, shown in a window of their own. The
// contents list the registered types, each linked to its page.
class THelpBrowser final : public QDialog {
  Q_OBJECT

 public:
  explicit THelpBrowser(const TContraptionFactory& factory, QWidget* parent = nullptr);

  void ShowContents();
  // A type's page by its help number; the contents when there is none.
  void ShowTopic(int helpNumber);
  // A type's page by its name; the contents when there is none.
  void ShowTypeHelp(const std::string& typeName);
  // The page a help number opens ("qrc:/help/sdelay.html"), or the contents.
  QString PageFor(int helpNumber) const;
  QString PageFor(const ContraptionDescriptor* type) const;
  // The contents' list of contraption types, by category, as HTML.
  QString TypeList() const;
  QString CurrentPage() const;
  // Styles the pages for the stage theme in use, the open one at once.
  void FollowTheme();
  QString CurrentTitle() const;

 signals:
  // An "example:demo.tgh" link was followed; the example's full file name.
  void ExampleChosen(const QString& fileName);

 private:
  class Pages;
  void Show(const QString& page);
  void OpenExample(const QString& name);
  const TContraptionFactory& factory_;
  QTextBrowser* browser_;
};

}  // namespace tg
