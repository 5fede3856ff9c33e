#pragma once

namespace tg {

class KWDocumentQueries;
class RecoveryFiles;
class TGDocument;

// At start-up: offers the copies that ended processes left, newest first,
// until the user takes one. A taken copy opens as its document, modified,
// and becomes this process's own copy before the old one goes; a refused
// one is deleted. Answers whether a copy was opened.
bool OfferRecovery(RecoveryFiles& files, TGDocument& document, KWDocumentQueries& queries);

}  // namespace tg
