#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "properties/QSProperty.h"

namespace tg {

// A text value, written in double quotes with backslash escapes. Texts are
// used by the user-interface thread only (file names, mostly); the audio
// thread never reads one that the user-interface thread may be writing.
class QSCStringProperty : public QSProperty {
 public:
  // The longest text a document or preset can hand over.
  static constexpr size_t kMaxLength = 4095;  // a path of 100 points fits

  explicit QSCStringProperty(std::string_view initial = {})
      : QSProperty(kCString), text_(initial) {}
  // A text naming a sound file: kept as the program's sound-file paths
  // resolve it and written as the document being written wants it
  // (properties/SoundFileNames.h).
  struct SoundFileName {
    bool written = false;  // a file the processor makes (a recording), not one it plays
  };
  explicit QSCStringProperty(SoundFileName kind)
      : QSProperty(kCString), namesSoundFile_(true), writesSoundFile_(kind.written) {}

  bool NamesSoundFile() const { return namesSoundFile_; }
  bool WritesSoundFile() const { return writesSoundFile_; }

  const std::string& Value() const { return text_; }
  // Raises the changed flag only when the text actually changes.
  void SetValue(std::string_view text);
  void CopyFrom(const QSCStringProperty& other) { SetValue(other.text_); }

  // UI thread: told the text each time it is set to another one or read in,
  // e.g. to load the file it names. Clones do not inherit it.
  void SetChangeHandler(std::function<void(const std::string&)> handler) {
    changeHandler_ = std::move(handler);
  }

  std::unique_ptr<QSProperty> Clone() const override;
  void AssignFrom(const QSProperty& other) override;
  void ReadFrom(std::istream& in) override;
  void WriteTo(std::ostream& out) const override;

 private:
  void TellChange() const {
    if (changeHandler_) changeHandler_(text_);
  }

  // The text as kept: a sound-file name resolved, any other text as given.
  std::string KeptText(std::string text) const;

  std::string text_;
  bool namesSoundFile_ = false;
  bool writesSoundFile_ = false;
  std::function<void(const std::string&)> changeHandler_;
};

}  // namespace tg
