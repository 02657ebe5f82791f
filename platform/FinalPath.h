// Whether the final path Windows gives for an open handle
// (GetFinalPathNameByHandleW: links and junctions followed, "\\?\" or
// "\\?\UNC\" in front) names the same place as the full path asked for.
#pragma once

#include <string>
#include <string_view>

namespace kelp {

inline bool SameFinalPath(std::string_view asked, std::string_view final) {
    const auto drop = [](std::string_view& text, std::string_view prefix) {
        if (text.substr(0, prefix.size()) != prefix) return false;
        text.remove_prefix(prefix.size());
        return true;
    };
    std::string unc;
    if (drop(final, "\\\\?\\UNC\\")) {
        unc = "\\\\" + std::string(final);
        final = unc;
    } else {
        drop(final, "\\\\?\\");
    }
    while (!asked.empty() && asked.back() == '\\') asked.remove_suffix(1);
    while (!final.empty() && final.back() == '\\') final.remove_suffix(1);
    if (asked.size() != final.size()) return false;
    // Windows compares names without regard to case; letters outside ASCII
    // must match exactly, which can only refuse, never let a link through.
    for (std::size_t i = 0; i < asked.size(); ++i) {
        char a = asked[i], f = final[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (f >= 'A' && f <= 'Z') f = static_cast<char>(f - 'A' + 'a');
        if (a != f) return false;
    }
    return true;
}

}  // namespace kelp
