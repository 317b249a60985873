#pragma once
// File-name masks: "*" any run of characters (also none), "?" one character,
// letters without regard to case. A mask ending in ".*" also takes names
// without any extension, so "*.*" matches every name.

#include <string_view>

namespace varnok {

bool MaskMatches(std::string_view mask, std::string_view name);

}  // namespace varnok
