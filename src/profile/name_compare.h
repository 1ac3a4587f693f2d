#pragma once

// Profile and macro names are unique without regard to letter case. Only
// ASCII letters are folded; other characters compare as they are, whole
// names against whole names.

#include <cstddef>
#include <string_view>

namespace nurak::profile {

inline bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

}  // namespace nurak::profile
