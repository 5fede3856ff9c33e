#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tg {

class TContraptionFactory;

// One type the quick-add field offers: a type of its own or one size of a
// family ("S4Mixer"), with the New menu's category it sits in.
struct TypeChoice {
  std::string typeName;
  std::string category;
};

// The New menu's first categories, in its order; any other follows them.
inline constexpr const char* kNewMenuCategories[] = {
    "Input / Output", "Signal Generators", "Effects", "Filters", "Mixers", "Busses"};

// The types whose name or category holds every word typed (in any case), in
// the New menu's order, those whose name begins with the first word first.
// Nothing typed lists every type.
std::vector<TypeChoice> TypesMatching(const TContraptionFactory& factory, std::string_view typed);

}  // namespace tg
