#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tg {

class TGardeningContraption;

// What a contraption the user makes (New menu, quick add) starts from, so a
// first patch sounds: a kit and a pattern for Drums, a line for Bassline,
// audible levels elsewhere. Documents never see these: a value a document
// leaves out still reads as the type's default. Qt-free; UI thread.
class StarterSettings {
 public:
  struct Value {
    std::string property;
    std::string text;  // as a document writes it
  };

  // samplesDirectory: where the program's own kit and loops are installed;
  // empty leaves the sound files out.
  explicit StarterSettings(std::string samplesDirectory);

  // The type's starter values (empty for a type that starts as it is).
  std::vector<Value> For(std::string_view typeName) const;
  // Sets them on a contraption that is not yet in the patch; false when its
  // type has none or one of them was refused.
  bool ApplyTo(TGardeningContraption& contraption) const;

 private:
  std::string Sample(std::string_view fileName) const;

  std::string samples_;
};

}  // namespace tg
