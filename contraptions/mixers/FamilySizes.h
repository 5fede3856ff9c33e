#pragma once

#include <utility>

namespace tg {

// The sizes the mixer and buss families come in: channels per type.
inline constexpr std::integer_sequence<int, 2, 3, 4, 6, 8, 12> kFamilySizes{};

}  // namespace tg
