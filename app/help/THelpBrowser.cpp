#include "app/help/THelpBrowser.h"

#include <QFile>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/help/ExampleFiles.h"
#include "controls/StagePalette.h"
#include "framework/TContraptionFactory.h"

namespace tg {
namespace {

constexpr const char* kContents = "qrc:/help/index.html";
// Where the contents page wants the list of types.
constexpr const char* kTypeListMark = "<!-- contraption types -->";

}  // namespace

// Fills the contents page's list of types in as it is loaded, and hands
// "example:" links to the program instead of showing them.
class THelpBrowser::Pages final : public QTextBrowser {
 public:
  Pages(THelpBrowser& help, QWidget* parent) : QTextBrowser(parent), help_(help) {}
  QVariant loadResource(int type, const QUrl& name) override {
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type == QTextDocument::HtmlResource && name.toString().endsWith("index.html")) {
      const QString page = resource.typeId() == QMetaType::QByteArray
                               ? QString::fromUtf8(resource.toByteArray())
                               : resource.toString();
      return QString(page).replace(kTypeListMark, help_.TypeList());
    }
    return resource;
  }

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override {
    if (name.scheme() == "example") {
      help_.OpenExample(name.path());
      return;
    }
    QTextBrowser::doSetSource(name, type);
  }

 private:
  THelpBrowser& help_;
};

THelpBrowser::THelpBrowser(const TContraptionFactory& factory, QWidget* parent)
    : QDialog(parent), factory_(factory), browser_(new Pages(*this, this)) {
  setWindowTitle("Tonegarden Help");
  setModal(false);
  resize(560, 620);
  // No external links: with them on, Qt would hand "example:" links to the
  // desktop instead of to doSetSource.
  FollowTheme();
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

void THelpBrowser::FollowTheme() {
  // QTextBrowser does not follow <link> stylesheets; the pages share one.
  QFile css(":/help/style.css");
  if (!css.open(QIODevice::ReadOnly)) return;
  QString sheet = QString::fromUtf8(css.readAll());
  // The pages' dark green headings and pale tips are made for a light page.
  if (StagePalette::CurrentTheme() == StageTheme::Dark)
    sheet.append("h1, h2 { color: #9fd4a8; } .tip { background: #2c3a2e; border-color: #4d6b52; }");
  if (sheet == browser_->document()->defaultStyleSheet()) return;
  browser_->document()->setDefaultStyleSheet(sheet);
  // The sheet applies as a page is read: the open one is read again.
  if (!browser_->source().isEmpty()) browser_->reload();
}

QString THelpBrowser::PageFor(int helpNumber) const {
  return PageFor(factory_.DescriptorForHelp(helpNumber));
}

QString THelpBrowser::PageFor(const ContraptionDescriptor* type) const {
  if (type == nullptr || type->helpPage.empty()) return kContents;
  return "qrc:/help/" + QString::fromStdString(type->helpPage);
}

QString THelpBrowser::TypeList() const {
  QString html = "<ul>\n";
  for (const std::string& category : factory_.Categories()) {
    QStringList links;
    for (const auto& type : factory_.Descriptors()) {
      if (type->category != category || type->helpPage.empty()) continue;
      const QString link = QString("<a href=\"%1\">%2</a>")
                               .arg(QString::fromStdString(type->helpPage),
                                    QString::fromStdString(type->helpTitle).toHtmlEscaped());
      if (!links.contains(link)) links << link;
    }
    if (links.isEmpty()) continue;
    html += "<li>" + QString::fromStdString(category).toHtmlEscaped() + ": " + links.join(", ") +
            "</li>\n";
  }
  return html + "</ul>";
}

void THelpBrowser::OpenExample(const QString& name) {
  const QString file = ExampleFile(name);
  if (file.isEmpty()) {
    QMessageBox::information(this, "Tonegarden Help",
                             QString("The example '%1' is not installed.").arg(name));
    return;
  }
  emit ExampleChosen(file);
}

void THelpBrowser::ShowContents() { Show(kContents); }
void THelpBrowser::ShowTopic(int helpNumber) { Show(PageFor(helpNumber)); }
void THelpBrowser::ShowTypeHelp(const std::string& typeName) {
  Show(PageFor(factory_.DescriptorOf(typeName)));
}

void THelpBrowser::Show(const QString& page) {
  browser_->setSource(QUrl(page));
  show();
  raise();
  activateWindow();
}

QString THelpBrowser::CurrentPage() const { return browser_->source().toString(); }
QString THelpBrowser::CurrentTitle() const { return browser_->documentTitle(); }

}  // namespace tg
