#include "shell/document/PatchFragment.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <sstream>

#include "engine/TAudioEngineModule.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/TextIO.h"
#include "shell/document/DocumentBudget.h"
#include "shell/document/DocumentText.h"
#include "shell/patch/ContraptionItem.h"
#include "shell/patch/PatchEditor.h"

namespace tg {

namespace {

constexpr const char* kFragmentEol = "\r\n";
constexpr double kNewestFragmentVersion = 0.9;
constexpr const char* kNothingPasted = ": nothing was pasted.";
constexpr const char* kTooMuchMemory = "The pasted contraptions would need too much memory";

struct FragmentWire {
  std::string source;
  int32_t outlet = 0;
  std::string destination;
  int32_t inlet = 0;
};

// The text split into its parts, before anything is made of it.
struct FragmentLines {
  std::vector<std::string> items;
  std::vector<FragmentWire> wires;
  std::string problem;  // empty when the text is a whole fragment
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A section's lines begin with a tab; a text editor may have made it spaces.
bool IsSectionLine(const std::string& line) { return !line.empty() && IsBlank(line.front()); }

std::string Trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

FragmentLines SplitFragment(std::string_view text) {
  FragmentLines parts;
  const size_t start = text.find_first_not_of(" \t\r\n");
  std::istringstream in(std::string(start == std::string_view::npos ? "" : text.substr(start)));
  std::string header;
  documenttext::ReadLine(in, header, 200);
  std::istringstream headerIn(header);
  std::string magic;
  double version = 0.0;
  if (!textio::ReadToken(headerIn, magic, 8) || magic != ".tgh" ||
      !textio::ReadDouble(headerIn, version) || !(version <= kNewestFragmentVersion)) {
    parts.problem = "The clipboard holds no Tonegarden contraptions";
    return parts;
  }
  std::string line;
  std::string section;
  bool ended = false;
  while (documenttext::ReadLine(in, line, std::string::npos)) {
    if (!IsSectionLine(line)) {
      section = Trimmed(line);
      if (section == "end") {
        ended = true;
        break;
      }
      continue;
    }
    if (Trimmed(line).empty()) continue;
    if (section == "contraptions:") {
      parts.items.push_back(Trimmed(line));
    } else if (section == "connections:") {
      std::istringstream wireIn(line);
      FragmentWire w;
      if (!textio::ReadToken(wireIn, w.source, TContraptionFactory::kMaxNameLength) ||
          !textio::ReadInt32(wireIn, w.outlet) ||
          !textio::ReadToken(wireIn, w.destination, TContraptionFactory::kMaxNameLength) ||
          !textio::ReadInt32(wireIn, w.inlet)) {
        parts.problem = "A wire in the clipboard's text cannot be read (\"" +
                        Trimmed(line).substr(0, 60) + "\")";
        return parts;
      }
      parts.wires.push_back(std::move(w));
    }
    // Lines of other sections (tempo, layout, MIDI) belong to a document.
  }
  if (!ended) {
    parts.problem = "The clipboard's text is cut short (it has no \"end\")";
  } else if (parts.items.empty()) {
    parts.problem = "The clipboard's text holds no contraptions";
  }
  return parts;
}

std::string FirstToken(const std::string& item) {
  std::istringstream in(item);
  std::string token;
  textio::ReadToken(in, token, TContraptionFactory::kMaxNameLength);
  return token;
}

// Refuses what would not fit the patch, as opening a document would.
std::string BudgetProblem(const FragmentLines& parts, const TContraptionFactory& factory,
                          int alreadyPlaced) {
  std::string normalised = "contraptions:\n";
  for (const std::string& item : parts.items) normalised.append("\t").append(item).append("\n");
  std::istringstream in(normalised);
  DocumentBudget::Need need = DocumentBudget::Scan(in, factory);
  const int total = alreadyPlaced + static_cast<int>(parts.items.size());
  if (total > DocumentBudget::kMaxContraptions) {
    return "The patch would hold " + std::to_string(total) + " contraptions, more than the " +
           std::to_string(DocumentBudget::kMaxContraptions) + " a document may hold";
  }
  need.contraptions = 0;
  const std::string refusal = DocumentBudget::Refusal(need, DocumentBudget::DefaultMemoryBudget());
  return refusal.empty() ? std::string() : kTooMuchMemory;
}

std::string CommandName(const std::string& verb,
                        const std::vector<std::unique_ptr<TGardeningContraption>>& made) {
  if (made.size() == 1) return verb + " " + made.front()->Name();
  return verb + " " + std::to_string(made.size()) + " Contraptions";
}

}  // namespace

std::string PatchFragment::Write(const PatchModel& model) {
  std::ostringstream out;
  out << ".tgh 0.5" << kFragmentEol << "contraptions:" << kFragmentEol;
  for (int i = 0; i < model.NodeCount(); ++i) {
    PatchNode& node = model.NodeAt(i);
    if (!node.selected) continue;
    node.contraption->WindowState().nodeX = node.x;
    node.contraption->WindowState().nodeY = node.y;
    out << '\t';
    WriteContraptionItem(out, *node.contraption);
    out << kFragmentEol;
  }
  out << "connections:" << kFragmentEol;
  for (int i = 0; i < model.ConnectionCount(); ++i) {
    const PatchConnection& c = model.ConnectionAt(i);
    if (!c.source->selected || !c.destination->selected) continue;
    out << '\t' << c.source->contraption->Name() << '\t' << c.outlet << '\t'
        << c.destination->contraption->Name() << '\t' << c.inlet << kFragmentEol;
  }
  out << "end" << kFragmentEol;
  return out.str();
}

PatchFragment::Pasted PatchFragment::Paste(PatchEditor& patch, std::string_view text,
                                           Placement where, const std::string& verb) {
  Pasted result;
  const FragmentLines parts = SplitFragment(text);
  if (!parts.problem.empty()) {
    result.message = parts.problem + kNothingPasted;
    return result;
  }
  TAudioEngineModule& engine = patch.Engine();
  TContraptionFactory& factory = engine.Factory();

  // Every type is known before anything is made.
  std::vector<std::string> leftOut;
  std::vector<bool> skip(parts.items.size(), false);
  for (size_t i = 0; i < parts.items.size(); ++i) {
    const std::string type = FirstToken(parts.items[i]);
    const TContraptionMaker* maker = factory.FindMaker(type);
    if (maker == nullptr) {
      result.message = "The clipboard's text holds a contraption of the unknown type \"" +
                       type.substr(0, 60) + "\"" + kNothingPasted;
      return result;
    }
    if (maker->IsSingleInstance() && maker->Instance() != nullptr) {
      skip[i] = true;
      leftOut.push_back(type);
    }
  }
  const std::string budget = BudgetProblem(parts, factory, patch.Model().NodeCount());
  if (!budget.empty()) {
    result.message = budget + kNothingPasted;
    return result;
  }

  // Made, not yet placed: a line that cannot be read leaves the patch as it was.
  std::vector<std::unique_ptr<TGardeningContraption>> made;
  std::vector<TContraptionFactory::PastedItem> items;
  std::vector<std::string> problems;
  // Counted again on the values as read: whatever the scan missed, the budget holds.
  DocumentBudget::Need read;
  for (size_t i = 0; i < parts.items.size(); ++i) {
    if (skip[i]) continue;
    std::istringstream in(parts.items[i]);
    TContraptionFactory::PastedItem item;
    auto contraption = factory.ReadPastedContraption(engine, in, item);
    if (contraption == nullptr || !in) {
      result.message = "The values of " + item.originalName.substr(0, 60) +
                       " in the clipboard's text cannot be read" + kNothingPasted;
      return result;
    }
    read.bytes += DocumentBudget::MemoryOf(*contraption);
    if (!DocumentBudget::Refusal(read, DocumentBudget::DefaultMemoryBudget()).empty()) {
      result.message = std::string(kTooMuchMemory) + kNothingPasted;
      return result;
    }
    const std::string refused = contraption->Processor().ReadProblem();
    if (!refused.empty()) problems.push_back(contraption->Name() + ": " + refused);
    made.push_back(std::move(contraption));
    items.push_back(std::move(item));
  }
  if (made.empty()) {
    result.message = "The patch has its " + leftOut.front() + " already" + kNothingPasted;
    return result;
  }

  int left = INT_MAX, top = INT_MAX;
  for (const auto& c : made) {
    left = std::min(left, c->WindowState().nodeX);
    top = std::min(top, c->WindowState().nodeY);
  }
  const int64_t dx = where.atPoint ? int64_t{where.x} - left : where.x;
  const int64_t dy = where.atPoint ? int64_t{where.y} - top : where.y;
  for (size_t i = 0; i < made.size(); ++i) {
    TContraptionFormState& state = made[i]->WindowState();
    state.nodeX = TContraptionFormState::Bounded(state.nodeX + dx);
    state.nodeY = TContraptionFormState::Bounded(state.nodeY + dy);
    if (!items[i].windowWanted) continue;
    // Beside its original's window rather than over it.
    const TGardeningContraption* original = factory.FindContraption(items[i].originalName);
    const bool isCopy =
        std::none_of(made.begin(), made.end(), [&](const auto& c) { return c.get() == original; });
    if (original != nullptr && isCopy) state.windowPlaced = false;
    // Opened before it is placed: the command places it with its window open.
    made[i]->ShowWindow();
  }

  std::vector<PatchEditor::PlacedWire> wires;
  auto indexOf = [&](const std::string& name) {
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].originalName == name) return static_cast<int>(i);
    }
    return -1;
  };
  for (const FragmentWire& w : parts.wires) {
    const int from = indexOf(w.source), to = indexOf(w.destination);
    if (from >= 0 && to >= 0) wires.push_back({from, w.outlet, to, w.inlet});
  }
  const std::string name = CommandName(verb, made);
  const size_t count = made.size();
  result.nodes = patch.PlaceAsOne(std::move(made), wires, name);

  result.message = (count == 1 ? verb + "d " + result.nodes.front()->contraption->Name()
                               : verb + "d " + std::to_string(count) + " contraptions");
  for (const std::string& type : leftOut)
    result.message += "; " + type + " was left out: a patch has only one";
  for (const std::string& problem : problems) result.message += "; " + problem;
  return result;
}

}  // namespace tg
