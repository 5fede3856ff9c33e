#include "shell/document/TGDocument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "engine/TAudioEngineModule.h"
#include "files/RegularFile.h"
#include "files/SoundFilePaths.h"
#include "files/wavefiles/SoundFileReader.h"
#include "framework/TContraptionFactory.h"
#include "framework/TGardeningContraption.h"
#include "properties/QSCStringProperty.h"
#include "properties/QSPropertyTable.h"
#include "properties/SoundFileNames.h"
#include "properties/TextIO.h"
#include "shell/document/DocumentBudget.h"
#include "shell/document/DocumentFile.h"
#include "shell/document/DocumentText.h"
#include "shell/patch/ContraptionItem.h"
#include "shell/patch/PatchEditor.h"

namespace tg {

namespace {

constexpr const char* kCaption = "Tonegarden";
constexpr const char* kReadCaption = "Error Reading Document";
constexpr size_t kSectionLineLimit = 99;
constexpr size_t kBindingLineLimit = 4999;
constexpr const char* kEol = "\r\n";

using documenttext::ReadLine;
using documenttext::SkipRestOfLine;

}  // namespace

TGDocument::TGDocument(PatchEditor& patch, KWDocumentQueries& queries)
    : patch_(patch), queries_(queries), memoryBudget_(DocumentBudget::DefaultMemoryBudget()) {}

std::string TGDocument::Title() const {
  if (fileName_.empty()) return "Untitled";
  const size_t slash = fileName_.find_last_of("/\\");
  std::string name = slash == std::string::npos ? fileName_ : fileName_.substr(slash + 1);
  return name.substr(0, name.find('.'));
}

void TGDocument::Message(const std::string& text, const std::string& caption) const {
  patch_.Engine().Host().messages->ShowMessage(text, caption, MessageIcon::Error);
}

double TGDocument::Tempo() const { return patch_.Engine().DocumentTempo(); }

void TGDocument::New() {
  patch_.Clear();
  fileName_.clear();
  patch_.Engine().SetTempo(120.0);
  patch_.Engine().Factory().ResetNumbering();
  // The pane layout is the user's, not the document's, until one is read.
}

bool TGDocument::Load(const std::string& fileName, std::string& text) const {
  regularfile::WholeFile file = regularfile::ReadWhole(fileName, kMaxDocumentBytes);
  if (!file.opened) {
    Message(
        "An error occurred while opening the document.\n" + fileName + ": " + file.problem + ".",
        kCaption);
    return false;
  }
  if (!file.problem.empty()) {
    Message("The specified file cannot be opened: " + file.problem + ".", kReadCaption);
    return false;
  }
  text = std::move(file.text);
  return true;
}

bool TGDocument::CanOpen(const std::string& fileName) {
  std::string text;
  if (!Load(fileName, text)) return false;
  std::istringstream in(std::move(text));
  return Check(in, fileName);
}

bool TGDocument::Check(std::istream& in, std::string_view documentName) {
  if (!ReadHeader(in)) return false;
  // Sound files are counted as the document will find them, beside it.
  const size_t slash = documentName.rfind('/');
  const std::string_view directory =
      slash == std::string_view::npos ? std::string_view() : documentName.substr(0, slash + 1);
  const std::string refusal = DocumentBudget::Refusal(
      DocumentBudget::Scan(in, patch_.Engine().Factory(), directory), memoryBudget_);
  if (!refusal.empty()) {
    Message(refusal, kReadCaption);
    return false;
  }
  return true;
}

bool TGDocument::Open(const std::string& fileName) { return OpenAs(fileName, fileName); }

bool TGDocument::OpenAs(const std::string& file, const std::string& documentName) {
  // Read once: the check and the reading see the same text, whatever happens
  // to the file meanwhile.
  std::string text;
  if (!Load(file, text)) return false;
  std::istringstream in(std::move(text));
  // Nothing of the current patch is touched until the text proves readable.
  if (!Check(in, documentName)) return false;
  in.clear();
  if (!in.seekg(0) || !ReadHeader(in)) return false;
  documentfile::RemoveStaleTemporaries(file);
  // Sound files named relative to the document are found beside it while
  // reading, and kept by their full names from then on.
  SetDocumentDirectory(documentName);
  New();
  fileName_ = documentName;
  ReadBody(in);
  CheckSoundFiles();
  return true;
}

namespace {

// Calls visit(contraption, name) for each sound file the patch plays.
template <typename Visit>
void VisitPlayedSoundFiles(const PatchModel& model, Visit visit) {
  for (int i = 0; i < model.NodeCount(); ++i) {
    const TGardeningContraption& c = *model.NodeAt(i).contraption;
    QSPropertyTable& table = *c.Processor().GetPropertyTable();
    for (int k = 0; k < table.Count(); ++k) {
      const auto* name = dynamic_cast<const QSCStringProperty*>(&table.PropertyAt(k));
      if (name == nullptr || !name->NamesSoundFile() || name->WritesSoundFile() ||
          name->Value().empty())
        continue;
      visit(c, name->Value());
    }
  }
}

}  // namespace

std::vector<FileInUse> TGDocument::FilesInUse() const {
  std::vector<FileInUse> files;
  if (HasFileName()) files.push_back({fileName_, "The patch is read from"});
  VisitPlayedSoundFiles(patch_.Model(),
                        [&](const TGardeningContraption& c, const std::string& name) {
                          files.push_back({ResolveSoundFile(name), c.Name() + " plays"});
                        });
  return files;
}

void TGDocument::CheckSoundFiles() {
  soundFileProblems_.clear();
  VisitPlayedSoundFiles(
      patch_.Model(), [&](const TGardeningContraption& c, const std::string& name) {
        const std::string problem = SoundFileProblem(ResolveSoundFile(name));
        if (!problem.empty())
          soundFileProblems_.push_back(c.Name() + ": " + MakeRelativePath(name) + ": " + problem);
      });
  if (soundFileProblems_.empty() || !tellsSoundFileProblems_) return;
  std::string text = "These sound files cannot be played:\n";
  for (size_t i = 0; i < soundFileProblems_.size() && i < 20; ++i)
    text += "\n" + soundFileProblems_[i];
  if (soundFileProblems_.size() > 20)
    text += "\n(and " + std::to_string(soundFileProblems_.size() - 20) + " more)";
  patch_.Engine().Host().messages->ShowMessage(text, kCaption, MessageIcon::Warning);
}

bool TGDocument::Read() {
  if (!HasFileName()) return false;
  const std::string name = fileName_;
  return Open(name);
}

bool TGDocument::Recover(const std::string& copy, const std::string& original) {
  // The copy's names are the document's: a copy older than full names in
  // crash copies names files relative to the original, never to the copy.
  if (!OpenAs(copy, original)) return false;
  // Unsaved changes, whatever the history says.
  patch_.Model().SetModified(true);
  modified_ = true;
  return true;
}

void TGDocument::UpdateModified() { modified_ = patch_.Modified(); }

void TGDocument::ClearModified() {
  modified_ = false;
  patch_.MarkSaved();
}

bool TGDocument::ReadHeader(std::istream& in) {
  std::string magic;
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != ' ' && c != '\n';
       c = in.get()) {
    if (magic.size() < kSectionLineLimit) magic.push_back(static_cast<char>(c));
  }
  double version = 0.0;
  const bool hasVersion = textio::ReadDouble(in, version) && std::isfinite(version);
  SkipRestOfLine(in);
  if (magic != ".tgh" || !hasVersion) {
    Message("The specified file is not a Tonegarden document.", kReadCaption);
    return false;
  }
  if (version > kNewestReadableVersion) {
    Message(
        "The specified document was created by a newer version of Tonegarden and cannot be opened.",
        kReadCaption);
    return false;
  }
  return true;
}

bool TGDocument::ReadFrom(std::istream& in) {
  readProblems_.clear();
  if (!ReadHeader(in)) return false;
  ReadBody(in);
  return true;
}

void TGDocument::ReadBody(std::istream& in) {
  readProblems_.clear();
  ReadSections(in);
  if (!readProblems_.empty()) {
    std::string text = "Parts of the document could not be read and were left out:\n";
    for (size_t i = 0; i < readProblems_.size() && i < 10; ++i) text += "\n" + readProblems_[i];
    if (readProblems_.size() > 10)
      text += "\n(and " + std::to_string(readProblems_.size() - 10) + " more)";
    Message(text, kReadCaption);
  }
}

void TGDocument::ReadSections(std::istream& in) {
  // A whole document is one batch: the processing order is worked out once,
  // and the windows hear of it once.
  const PatchEditor::Batch batch(patch_);
  std::string section;
  bool more = ReadLine(in, section, kSectionLineLimit);
  while (more && section != "end") {
    if (section == "tempo:") {
      double t = 120.0;
      if (!textio::ReadDouble(in, t) || !std::isfinite(t)) t = 120.0;
      patch_.Engine().SetTempo(std::clamp(t, 1.0, 240.0));  // the tempo field's range
      SkipRestOfLine(in);
    } else if (section == "splitter:") {
      int32_t w = PatchModel::kDefaultPaneWidth;
      if (textio::ReadInt32(in, w)) patch_.Model().SetPaneWidth(std::clamp(w, 0, kMaxPaneWidth));
      SkipRestOfLine(in);
    } else if (section == "visual1:") {
      int32_t w = PatchModel::kDefaultPaneWidth, patcher = 1, properties = 1;
      const bool ok = textio::ReadInt32(in, w);
      SkipRestOfLine(in);
      textio::ReadInt32(in, patcher);
      SkipRestOfLine(in);
      textio::ReadInt32(in, properties);
      SkipRestOfLine(in);
      patch_.Model().SetPatcherShown(patcher == 1);
      patch_.Model().SetPropertiesShown(properties == 1);
      if (ok) patch_.Model().SetPaneWidth(std::clamp(w, 0, kMaxPaneWidth));
    } else if (section == "contraptions:") {
      ReadContraptions(in);
    } else if (section == "connections:") {
      ReadConnections(in);
    } else if (section == "midi:") {
      ReadBindings(in);
    } else {
      // An unknown section: its lines begin with a tab.
      std::string skipped;
      while (in.peek() == '\t') ReadLine(in, skipped, 0);
    }
    in.clear(in.rdstate() & ~std::ios::failbit);
    more = ReadLine(in, section, kSectionLineLimit);
  }
}

void TGDocument::ReadContraptions(std::istream& in) {
  TContraptionFactory& factory = patch_.Engine().Factory();
  // The count made before reading is checked again here, as the reader really
  // makes them: whatever the scan missed, the budget holds.
  int made = 0;
  uint64_t bytes = 0;
  std::string skipped;
  while (in.peek() == '\t') {
    if (made >= DocumentBudget::kMaxContraptions) {
      readProblems_.push_back("the contraptions beyond the first " + std::to_string(made) +
                              " (more than a document may hold)");
      while (in.peek() == '\t') ReadLine(in, skipped, 0);
      return;
    }
    in.get();
    const std::streampos lineStart = in.tellg();
    std::string type, name;
    textio::ReadToken(in, type, TContraptionFactory::kMaxNameLength);
    textio::ReadToken(in, name, TContraptionFactory::kMaxNameLength);
    in.clear(in.rdstate() & ~std::ios::failbit);
    in.seekg(lineStart);
    std::unique_ptr<TGardeningContraption> contraption;
    // A name given twice would leave the second unreachable by wires: it
    // gets a fresh one.
    const bool renamed = !name.empty() && factory.FindContraption(name) != nullptr;
    if (renamed) {
      TContraptionFactory::PastedItem item;
      contraption = factory.ReadPastedContraption(patch_.Engine(), in, item);
      if (contraption != nullptr && item.windowWanted) contraption->ShowWindow();
    } else {
      contraption = factory.ReadContraption(patch_.Engine(), in);
    }
    if (contraption != nullptr) {
      // Counted on the values as read, with the sound file they name: gone
      // before it is placed, the contraption's load is dropped.
      bytes += DocumentBudget::MemoryOf(*contraption);
      if (bytes > memoryBudget_) {
        readProblems_.push_back("the contraptions beyond the first " + std::to_string(made) + ": " +
                                DocumentBudget::Refusal({made + 1, bytes}, memoryBudget_));
        SkipRestOfLine(in);
        while (in.peek() == '\t') ReadLine(in, skipped, 0);
        return;
      }
      ++made;
      if (renamed) {
        std::string line = "the name " + name;
        line.append(" a second time (that ").append(type).append(" is ");
        line.append(contraption->Name()).append(")");
        readProblems_.push_back(std::move(line));
      }
      // A refused value says which and why; the one before it stays.
      const std::string refused = contraption->Processor().ReadProblem();
      if (!refused.empty()) {
        std::string line = contraption->Name();
        line.append(": ").append(refused);
        readProblems_.push_back(std::move(line));
      }
      if (in.fail()) readProblems_.push_back("some values of " + contraption->Name());
      patch_.Place(std::move(contraption));
    } else {
      // Say which type it was, if the line starts with one.
      const TContraptionMaker* maker = factory.FindMaker(type);
      if (type.empty()) {
        readProblems_.push_back("a contraption without a type");
      } else if (maker == nullptr) {
        readProblems_.push_back("a contraption of the unknown type \"" + type + "\"");
      } else if (maker->IsSingleInstance()) {
        readProblems_.push_back("a second " + type + ", which a patch cannot have");
      } else {
        readProblems_.push_back("a " + type + " that cannot be read");
      }
    }
    SkipRestOfLine(in);
  }
}

void TGDocument::ReadConnections(std::istream& in) {
  TContraptionFactory& factory = patch_.Engine().Factory();
  while (in.peek() == '\t') {
    std::string from, to;
    int32_t outlet = -1, inlet = -1;
    if (textio::ReadToken(in, from, TContraptionFactory::kMaxNameLength) &&
        textio::ReadInt32(in, outlet) &&
        textio::ReadToken(in, to, TContraptionFactory::kMaxNameLength) &&
        textio::ReadInt32(in, inlet)) {
      TGardeningContraption* source = factory.FindContraption(from);
      TGardeningContraption* destination = factory.FindContraption(to);
      if (source != nullptr && destination != nullptr) {
        const std::string refusal =
            patch_.ConnectFromDocument(*source, outlet, *destination, inlet);
        if (!refusal.empty()) {
          readProblems_.push_back("the wire from " + from + " " + std::to_string(outlet) + " to " +
                                  to + " " + std::to_string(inlet) + ": " + refusal);
        }
      }
    }
    SkipRestOfLine(in);
  }
}

void TGDocument::ReadBindings(std::istream& in) {
  TContraptionFactory& factory = patch_.Engine().Factory();
  MidiBindingList bindings;
  std::string line;
  while (in.peek() == '\t') {
    in.get();
    ReadLine(in, line, kBindingLineLimit);
    const std::optional<MidiBinding> b = MidiBinding::FromLine(line);
    if (!b) {
      readProblems_.push_back("a MIDI binding that is not one: \"" + line.substr(0, 60) + "\"");
    } else if (b->target.kind != MidiTargetSpec::Kind::Scene &&
               factory.FindContraption(b->target.contraption) == nullptr) {
      readProblems_.push_back("the MIDI binding of " + b->target.contraption +
                              ", which is not in the document");
    } else if (!bindings.Add(*b)) {
      readProblems_.push_back("the MIDI bindings beyond the first " +
                              std::to_string(MidiBindingList::kMaxBindings));
      while (in.peek() == '\t') ReadLine(in, line, 0);
    }
  }
  patch_.LoadBindings(std::move(bindings));
}

void TGDocument::WriteTo(std::ostream& out) const {
  const PatchModel& model = patch_.Model();
  out << ".tgh 0.5" << kEol << "tempo:" << kEol << '\t' << textio::FormatDouble(Tempo()) << kEol;
  out << "visual1:" << kEol << '\t' << model.PaneWidth() << kEol << '\t'
      << (model.PatcherShown() ? 1 : 0) << kEol << '\t' << (model.PropertiesShown() ? 1 : 0)
      << kEol;
  out << "contraptions:" << kEol;
  for (int i = 0; i < model.NodeCount(); ++i) {
    PatchNode& node = model.NodeAt(i);
    node.contraption->WindowState().nodeX = node.x;
    node.contraption->WindowState().nodeY = node.y;
    out << '\t';
    WriteContraptionItem(out, *node.contraption);
    out << kEol;
  }
  out << "connections:" << kEol;
  for (int i = 0; i < model.ConnectionCount(); ++i) {
    const PatchConnection& c = model.ConnectionAt(i);
    out << '\t' << c.source->contraption->Name() << '\t' << c.outlet << '\t'
        << c.destination->contraption->Name() << '\t' << c.inlet << kEol;
  }
  // Only a document with bindings has the section, so others read as before.
  const MidiBindingList& bindings = patch_.Bindings();
  if (!bindings.Empty()) {
    out << "midi:" << kEol;
    for (const MidiBinding& b : bindings.All()) out << '\t' << b.ToLine() << kEol;
  }
  out << "end" << kEol;
}

bool TGDocument::Write() {
  documentfile::RemoveStaleTemporaries(fileName_);
  std::ostringstream text;
  {
    // Sound files are named as the document, in its own folder, will find them.
    const size_t slash = fileName_.find_last_of('/');
    const std::string directory =
        slash == std::string::npos ? "./" : fileName_.substr(0, slash + 1);
    const soundfilenames::ScopedWriter names([&directory](const std::string& name) {
      return SoundFilePaths::Instance().NameForDocument(name, directory);
    });
    WriteTo(text);
  }
  // Written beside the old copy and renamed over it only when complete, so a
  // failed or interrupted save never destroys the last good document.
  if (std::string why; !documentfile::WriteReplacing(fileName_, text.str(), &why)) {
    Message("An error occurred while saving the document.\n" + fileName_ + ": " + why + ".",
            kCaption);
    return false;
  }
  SetDocumentDirectory(fileName_);
  return true;
}

bool TGDocument::SaveAs() {
  const std::string proposed =
      HasFileName() ? fileName_ : SoundFilePaths::Instance().DocumentDirectory() + "Untitled.tgh";
  const std::string chosen = queries_.AskSaveFileName(proposed);
  if (chosen.empty()) return false;
  const std::string previous = fileName_;
  fileName_ = chosen;
  if (!Write()) {
    fileName_ = previous;  // nothing was saved there
    return false;
  }
  return true;
}

}  // namespace tg
