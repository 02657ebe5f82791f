#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace bench {

Stopwatch::Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    start();
}

void Stopwatch::start() { QueryPerformanceCounter(&started_); }

double Stopwatch::elapsedMs() const {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - started_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
}

Summary summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    summary.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    summary.min = samples.front();
    summary.max = samples.back();
    return summary;
}

void report(const std::string& what, const std::string& label, const std::vector<double>& samples) {
    const Summary s = summarize(samples);
    std::printf("%s label=%s runs=%u median_ms=%.3f min_ms=%.3f max_ms=%.3f samples_ms=", what.c_str(), label.c_str(),
                static_cast<unsigned>(samples.size()), s.median, s.min, s.max);
    for (std::size_t i = 0; i < samples.size(); ++i) std::printf("%s%.3f", i ? "," : "", samples[i]);
    std::printf("\n");
    std::fflush(stdout);
}

void complain(const char* program, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", program, text.c_str());
    std::fflush(stderr);
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

int positiveArgument(const wchar_t* text, int fallback) {
    if (!text) return fallback;
    wchar_t* end = nullptr;
    const long value = std::wcstol(text, &end, 10);
    if (end == text || *end != L'\0' || value <= 0 || value > 100000) return fallback;
    return static_cast<int>(value);
}

}  // namespace bench
