#include "shell/document/RecoveryOffer.h"

#include <sstream>

#include "shell/document/RecoveryFiles.h"
#include "shell/document/TGDocument.h"

namespace tg {

bool OfferRecovery(RecoveryFiles& files, TGDocument& document, KWDocumentQueries& queries) {
  for (const RecoveryFiles::Orphan& orphan : files.FindOrphans()) {
    if (!queries.AskRestore(RecoveryFiles::Question(orphan))) {
      RecoveryFiles::Discard(orphan);
      continue;
    }
    if (!document.Recover(orphan.file, orphan.original)) continue;  // the reader said why
    std::ostringstream text;
    document.WriteTo(text);
    // The changes are kept in a copy of ours before the old one goes.
    if (files.Write(orphan.original, text.str())) RecoveryFiles::Discard(orphan);
    return true;
  }
  return false;
}

}  // namespace tg
