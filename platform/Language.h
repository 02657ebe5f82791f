// The language a run speaks: its pages, messages, console lines, the
// system's texts in its log and, unless an installed driver says otherwise,
// the edition of the driver files and of the test receipt.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kelp {

enum class Language { Chinese, English };

// Chinese on a system whose ANSI code page is Simplified (936) or
// Traditional (950) Chinese, else English.
constexpr Language LanguageForCodePage(std::uint32_t codePage) {
    return codePage == 936 || codePage == 950 ? Language::Chinese : Language::English;
}

// A text in both languages.
struct Bilingual {
    const char* chinese;
    const char* english;
    constexpr const char* in(Language language) const { return language == Language::English ? english : chinese; }
};

// pattern with each %1 ... %9 replaced by the value of that number; a mark
// without a value, and any other '%', stay as they are.
inline std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < values.size()) {
            text += values.begin()[index];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

}  // namespace kelp
