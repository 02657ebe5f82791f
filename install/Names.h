// Names as Windows compares them: printer, driver, port and model names, and
// file names, match whatever the case of their ASCII letters.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace kelp {

// text with its ASCII letters in lower case.
inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace kelp
