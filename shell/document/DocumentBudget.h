#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace tg {

class TContraptionFactory;
class TGardeningContraption;

// What opening a document would cost, counted before the current patch is
// touched, so that an absurd document is refused instead of exhausting the
// machine's memory. UI thread.
class DocumentBudget {
 public:
  static constexpr int kMaxContraptions = 1000;

  struct Need {
    int contraptions = 0;
    uint64_t bytes = 0;
  };

  // Half of the physical memory: the rest stays for the system and the user's
  // other programs.
  static uint64_t DefaultMemoryBudget();

  // Counts the contraptions of known types in a document's text and the
  // memory their processors take, with the sound files they name found
  // from documentDirectory. Reads the stream to its end.
  static Need Scan(std::istream& in, const TContraptionFactory& factory,
                   std::string_view documentDirectory = {});
  // What a contraption just read takes, counted on its values as read, with
  // the sound file they name (kept by its full name).
  static uint64_t MemoryOf(const TGardeningContraption& contraption);
  // Empty when the need fits; otherwise the message that says why not.
  static std::string Refusal(const Need& need, uint64_t memoryBudget);
};

}  // namespace tg
