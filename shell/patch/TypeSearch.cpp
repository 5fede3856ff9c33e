#include "shell/patch/TypeSearch.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <sstream>

#include "framework/TContraptionFactory.h"

namespace tg {

namespace {

std::string Lowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A category's place in the New menu.
size_t MenuPlaceOf(const std::string& category) {
  const auto* begin = std::begin(kNewMenuCategories);
  const auto* end = std::end(kNewMenuCategories);
  return static_cast<size_t>(
      std::find_if(begin, end, [&](const char* c) { return category == c; }) - begin);
}

}  // namespace

std::vector<TypeChoice> TypesMatching(const TContraptionFactory& factory, std::string_view typed) {
  std::vector<std::string> words;
  std::istringstream in{Lowered(typed)};
  for (std::string word; in >> word;) words.push_back(word);
  std::vector<TypeChoice> starting, others;
  for (int i = 0; i < factory.MakerCount(); ++i) {
    const TContraptionMaker& maker = *factory.MakerAt(i);
    const std::string name = Lowered(maker.TypeName());
    const std::string both = name + ' ' + Lowered(maker.Category());
    const bool all = std::all_of(words.begin(), words.end(), [&](const std::string& w) {
      return both.find(w) != std::string::npos;
    });
    if (!all) continue;
    TypeChoice choice{maker.TypeName(), maker.Category()};
    if (!words.empty() && !name.starts_with(words.front())) {
      others.push_back(std::move(choice));
    } else {
      starting.push_back(std::move(choice));
    }
  }
  auto byMenu = [](const TypeChoice& a, const TypeChoice& b) {
    return MenuPlaceOf(a.category) < MenuPlaceOf(b.category);
  };
  std::stable_sort(starting.begin(), starting.end(), byMenu);
  std::stable_sort(others.begin(), others.end(), byMenu);
  starting.insert(starting.end(), others.begin(), others.end());
  return starting;
}

}  // namespace tg
