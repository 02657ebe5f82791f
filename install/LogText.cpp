#include "install/LogText.h"

#include <cstdint>

namespace kelp {

namespace {

std::string Hex2(unsigned value) {
    const char* digits = "0123456789ABCDEF";
    return std::string("\\x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

// The length of the UTF-8 sequence at text[i] and its code point; 0 when
// the bytes there are no valid sequence (overlong forms, surrogates and
// code points above U+10FFFF included).
std::size_t Utf8Sequence(std::string_view text, std::size_t i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    codePoint = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

bool IsBidiControl(std::uint32_t codePoint) {
    return (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

std::string Escaped(std::string_view text, std::string_view alsoEscaped, bool bidi) {
    std::string safe;
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = Utf8Sequence(text, i, codePoint);
        if (length == 0) {
            safe += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if ((codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint <= 0x9F) ||
            (codePoint < 0x80 && alsoEscaped.find(static_cast<char>(codePoint)) != std::string_view::npos))
            safe += Hex2(codePoint);
        else if (bidi && IsBidiControl(codePoint))
            safe += "\\u" + Hex2(codePoint >> 8).substr(2) + Hex2(codePoint & 0xFF).substr(2);
        else
            safe.append(text, i, length);
        i += length;
    }
    return safe;
}

}  // namespace

std::string EscapedText(std::string_view text, std::string_view alsoEscaped) {
    return Escaped(text, alsoEscaped, false);
}

std::string OutsideText(std::string_view text) { return Escaped(text, "\t", true); }

std::string QuotedText(std::string_view text) { return "\"" + Escaped(text, "\"\t", true) + "\""; }

}  // namespace kelp
