#pragma once

#include "shell/document/KWDocument.h"

class QWidget;

namespace tg {

// The document's questions as message boxes and file dialogs.
class TGDocumentQueries final : public KWDocumentQueries {
 public:
  explicit TGDocumentQueries(QWidget* owner) : owner_(owner) {}
  bool AskSaveChanges(bool& cancelled) override;
  bool AskRevert() override;
  std::string AskOpenFileName() override;
  std::string AskSaveFileName(const std::string& proposed) override;
  bool AskRestore(const std::string& question) override;

 private:
  QWidget* owner_;
};

}  // namespace tg
