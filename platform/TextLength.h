// The length of a UTF-8 text in UTF-16 units: how many characters Windows
// counts for it at its W interfaces.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelp {

inline std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte
        units += byte >= 0xF0 ? 2 : 1;        // four-byte sequences need a surrogate pair
    }
    return units;
}

}  // namespace kelp
