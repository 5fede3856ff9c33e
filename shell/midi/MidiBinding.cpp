#include "shell/midi/MidiBinding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>

namespace tg {

namespace midi_binding {

constexpr size_t kMostNameLength = 199;  // as documents limit names
constexpr char kSeparator = '\t';

struct KindWord {
  MidiTargetSpec::Kind kind;
  const char* word;
};
constexpr std::array<KindWord, 8> kKindWords{{{MidiTargetSpec::Kind::Value, "value"},
                                              {MidiTargetSpec::Kind::Bit, "bit"},
                                              {MidiTargetSpec::Kind::RangeLow, "low"},
                                              {MidiTargetSpec::Kind::RangeHigh, "high"},
                                              {MidiTargetSpec::Kind::Presets, "presets"},
                                              {MidiTargetSpec::Kind::Scene, "scene"},
                                              {MidiTargetSpec::Kind::Transpose, "transpose"},
                                              {MidiTargetSpec::Kind::Pad, "pad"}}};

struct SourceWord {
  MidiBinding::Source source;
  const char* word;
};
constexpr std::array<SourceWord, 5> kSourceWords{{{MidiBinding::Source::Controller7, "cc"},
                                                  {MidiBinding::Source::Controller14, "cc14"},
                                                  {MidiBinding::Source::Note, "note"},
                                                  {MidiBinding::Source::PitchBend, "bend"},
                                                  {MidiBinding::Source::Program, "program"}}};

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(kSeparator, start);
    fields.push_back(line.substr(start, end == std::string_view::npos ? line.npos : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

std::optional<int> WholeNumber(std::string_view text, int lowest, int highest) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest || value > highest)
    return std::nullopt;
  return value;
}

bool IsName(std::string_view name) {
  return name.size() <= kMostNameLength && std::none_of(name.begin(), name.end(), [](char c) {
           return static_cast<unsigned char>(c) <= ' ';
         });
}

// Which messages can move a target at all.
bool Fits(MidiTargetSpec::Kind kind, MidiBinding::Source source) {
  using Kind = MidiTargetSpec::Kind;
  using Source = MidiBinding::Source;
  switch (kind) {
    case Kind::Presets:
    case Kind::Scene:
      return source == Source::Program;
    case Kind::Transpose:
    case Kind::Pad:
      return source == Source::Note;
    default:
      return source != Source::Program;
  }
}

}  // namespace midi_binding

std::string MidiTargetSpec::Description() const {
  switch (kind) {
    case Kind::Value:
      return contraption + ": " + parameter;
    case Kind::Bit:
      return contraption + ": " + parameter + " step " + std::to_string(index + 1);
    case Kind::RangeLow:
      return contraption + ": " + parameter + " (low end)";
    case Kind::RangeHigh:
      return contraption + ": " + parameter + " (high end)";
    case Kind::Presets:
      return contraption + ": presets";
    case Kind::Scene:
      return "every contraption's presets (scene)";
    case Kind::Transpose:
      return contraption + ": transposition";
    case Kind::Pad:
      return contraption + ": pad " + std::to_string(index + 1);
  }
  return {};
}

std::string MidiBinding::SourceText() const {
  std::string text;
  switch (source) {
    case Source::Controller7:
      text = "CC " + std::to_string(number);
      break;
    case Source::Controller14:
      text = "CC " + std::to_string(number) + "/" + std::to_string(number + 32) + " (14-bit)";
      break;
    case Source::Note:
      text = target.kind == MidiTargetSpec::Kind::Transpose
                 ? "notes, root " + std::to_string(number)
                 : "note " + std::to_string(number);
      break;
    case Source::PitchBend:
      text = "pitch bend";
      break;
    case Source::Program:
      text = "program change";
      break;
  }
  return text + (channel == kAnyChannel ? " on any channel"
                                        : " on channel " + std::to_string(channel + 1));
}

std::string MidiBinding::ToLine() const {
  std::string line;
  for (const midi_binding::KindWord& k : midi_binding::kKindWords) {
    if (k.kind == target.kind) line = k.word;
  }
  line += midi_binding::kSeparator + target.contraption + midi_binding::kSeparator +
          target.parameter + midi_binding::kSeparator + std::to_string(target.index) +
          midi_binding::kSeparator;
  for (const midi_binding::SourceWord& s : midi_binding::kSourceWords) {
    if (s.source == source) line += s.word;
  }
  line += midi_binding::kSeparator +
          (channel == kAnyChannel ? std::string("any") : std::to_string(channel + 1));
  line += midi_binding::kSeparator + std::to_string(number) + midi_binding::kSeparator;
  std::string options;
  for (const auto& [on, word] :
       {std::pair{pickUp, "pickup"}, {momentary, "momentary"}, {logarithmic, "log"}}) {
    if (on) options += std::string(options.empty() ? "" : ",") + word;
  }
  return line + (options.empty() ? "-" : options);
}

std::optional<MidiBinding> MidiBinding::FromLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> f = midi_binding::Fields(line);
  if (f.size() != 8) return std::nullopt;
  MidiBinding b;
  const auto kind = std::find_if(midi_binding::kKindWords.begin(), midi_binding::kKindWords.end(),
                                 [&](const midi_binding::KindWord& k) { return f[0] == k.word; });
  const auto source =
      std::find_if(midi_binding::kSourceWords.begin(), midi_binding::kSourceWords.end(),
                   [&](const midi_binding::SourceWord& s) { return f[4] == s.word; });
  if (kind == midi_binding::kKindWords.end() || source == midi_binding::kSourceWords.end())
    return std::nullopt;
  b.target.kind = kind->kind;
  b.source = source->source;
  if (!midi_binding::Fits(b.target.kind, b.source) || !midi_binding::IsName(f[1]) ||
      !midi_binding::IsName(f[2]))
    return std::nullopt;
  b.target.contraption = f[1];
  b.target.parameter = f[2];
  using Kind = MidiTargetSpec::Kind;
  const bool named = b.target.kind != Kind::Scene;
  const bool hasParameter = b.target.kind == Kind::Value || b.target.kind == Kind::Bit ||
                            b.target.kind == Kind::RangeLow || b.target.kind == Kind::RangeHigh;
  if (named == b.target.contraption.empty() || hasParameter == b.target.parameter.empty())
    return std::nullopt;
  const int mostIndex = b.target.kind == Kind::Bit ? 31 : b.target.kind == Kind::Pad ? 4 : 0;
  const std::optional<int> index = midi_binding::WholeNumber(f[3], 0, mostIndex);
  if (!index) return std::nullopt;
  b.target.index = *index;
  if (f[5] == "any") {
    b.channel = kAnyChannel;
  } else if (const std::optional<int> channel = midi_binding::WholeNumber(f[5], 1, 16)) {
    b.channel = *channel - 1;
  } else {
    return std::nullopt;
  }
  const std::optional<int> number =
      midi_binding::WholeNumber(f[6], 0, b.source == Source::Controller14 ? 31 : 127);
  if (!number) return std::nullopt;
  b.number = *number;
  if (f[7] != "-") {
    std::string_view rest = f[7];
    while (!rest.empty()) {
      const size_t comma = rest.find(',');
      const std::string_view word = rest.substr(0, comma);
      if (word == "pickup") {
        b.pickUp = true;
      } else if (word == "momentary") {
        b.momentary = true;
      } else if (word == "log") {
        b.logarithmic = true;
      } else {
        return std::nullopt;
      }
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
  }
  return b;
}

bool MidiBindingList::Add(MidiBinding binding) {
  if (bindings_.size() >= kMaxBindings) return false;
  bindings_.push_back(std::move(binding));
  return true;
}

void MidiBindingList::Replace(MidiBinding binding) {
  if (MidiBinding* same = Find(binding.target)) {
    *same = std::move(binding);
    // Any further binding of the target goes: one control, one binding.
    const MidiTargetSpec target = same->target;
    bool first = true;
    std::erase_if(bindings_, [&](const MidiBinding& b) {
      if (!(b.target == target)) return false;
      if (first) {
        first = false;
        return false;
      }
      return true;
    });
    return;
  }
  Add(std::move(binding));
}

bool MidiBindingList::Forget(const MidiTargetSpec& target) {
  return std::erase_if(bindings_, [&](const MidiBinding& b) { return b.target == target; }) > 0;
}

const MidiBinding* MidiBindingList::Find(const MidiTargetSpec& target) const {
  const auto it = std::find_if(bindings_.begin(), bindings_.end(),
                               [&](const MidiBinding& b) { return b.target == target; });
  return it == bindings_.end() ? nullptr : &*it;
}

MidiBinding* MidiBindingList::Find(const MidiTargetSpec& target) {
  const auto it = std::find_if(bindings_.begin(), bindings_.end(),
                               [&](const MidiBinding& b) { return b.target == target; });
  return it == bindings_.end() ? nullptr : &*it;
}

std::string MidiBindingList::PlacedLinesOf(const std::string& contraption) const {
  std::string lines;
  for (size_t i = 0; i < bindings_.size(); ++i) {
    if (bindings_[i].target.contraption == contraption)
      lines += std::to_string(i) + midi_binding::kSeparator + bindings_[i].ToLine() + "\n";
  }
  return lines;
}

void MidiBindingList::InsertPlacedLines(const std::string& lines) {
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find(midi_binding::kSeparator);
    if (tab == std::string::npos) continue;
    const std::optional<int> place = midi_binding::WholeNumber(
        std::string_view(line).substr(0, tab), 0, static_cast<int>(kMaxBindings));
    const std::optional<MidiBinding> b =
        MidiBinding::FromLine(std::string_view(line).substr(tab + 1));
    if (!place || !b || bindings_.size() >= kMaxBindings) continue;
    const auto at = std::min(static_cast<size_t>(*place), bindings_.size());
    bindings_.insert(bindings_.begin() + static_cast<long>(at), *b);
  }
}

bool MidiBindingList::RemoveOf(const std::string& contraption) {
  return std::erase_if(bindings_, [&](const MidiBinding& b) {
           return b.target.contraption == contraption;
         }) > 0;
}

int MidiBindingList::AddLines(const std::string& lines) {
  int refused = 0;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::optional<MidiBinding> b = MidiBinding::FromLine(line);
    if (!b || !Add(*b)) ++refused;
  }
  return refused;
}

bool MidiBindingList::Rename(const std::string& from, const std::string& to) {
  bool renamed = false;
  for (MidiBinding& b : bindings_) {
    if (b.target.contraption != from) continue;
    b.target.contraption = to;
    renamed = true;
  }
  return renamed;
}

std::string MidiBindingList::Lines() const {
  std::string lines;
  for (const MidiBinding& b : bindings_) lines += b.ToLine() + "\n";
  return lines;
}

MidiBindingList MidiBindingList::FromLines(const std::string& lines) {
  MidiBindingList list;
  list.AddLines(lines);
  return list;
}

}  // namespace tg
