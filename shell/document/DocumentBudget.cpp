#include "shell/document/DocumentBudget.h"

#include <unistd.h>

#include <istream>
#include <sstream>

#include "files/SoundFilePaths.h"
#include "framework/TContraptionFactory.h"
#include "framework/TContraptionMaker.h"
#include "framework/TGardeningContraption.h"
#include "shell/document/DocumentText.h"

namespace tg {

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

}  // namespace

uint64_t DocumentBudget::DefaultMemoryBudget() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 1024 * kMiB;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2;
}

DocumentBudget::Need DocumentBudget::Scan(std::istream& in, const TContraptionFactory& factory,
                                          std::string_view documentDirectory) {
  Need need;
  std::string line;
  bool inContraptions = false;
  // Whole lines, however long: values may be padded far out. A document is
  // of bounded size.
  while (documenttext::ReadLine(in, line, std::string::npos)) {
    if (line.empty() || line.front() != '\t') {
      inContraptions = line == "contraptions:";
      continue;
    }
    if (!inContraptions) continue;
    // The type is the line's first word, wherever it starts, as the reader takes it.
    const size_t start = line.find_first_not_of("\t ");
    if (start == std::string::npos) continue;
    const size_t end = line.find_first_of("\t ", start);
    const std::string type =
        line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (const TContraptionMaker* maker = factory.FindMaker(type)) {
      ++need.contraptions;
      // The value list follows the name: from its brace on.
      const size_t values = end == std::string::npos ? std::string::npos : line.find('{', end);
      need.bytes += maker->InstanceMemory(
          values == std::string::npos ? std::string_view() : std::string_view(line).substr(values),
          documentDirectory);
    }
  }
  return need;
}

uint64_t DocumentBudget::MemoryOf(const TGardeningContraption& contraption) {
  std::ostringstream values;
  contraption.Processor().WriteProperties(values);
  return contraption.Maker().InstanceMemory(values.str(),
                                            SoundFilePaths::Instance().DocumentDirectory());
}

std::string DocumentBudget::Refusal(const Need& need, uint64_t memoryBudget) {
  if (need.contraptions > kMaxContraptions) {
    return "The document holds " + std::to_string(need.contraptions) +
           " contraptions; Tonegarden opens documents of at most " +
           std::to_string(kMaxContraptions) + " contraptions.";
  }
  if (need.bytes > memoryBudget) {
    return "The document's contraptions would need about " +
           std::to_string((need.bytes + kMiB - 1) / kMiB) +
           " MB of memory; Tonegarden opens documents that need at most " +
           std::to_string(memoryBudget / kMiB) + " MB.";
  }
  return {};
}

}  // namespace tg
