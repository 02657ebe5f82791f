// Timing and reporting shared by the benchmark programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// QueryPerformanceCounter in milliseconds.
class Stopwatch {
public:
    Stopwatch();
    void start();
    double elapsedMs() const;

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER started_{};
};

struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};

Summary summarize(std::vector<double> samples);

// One result line on stdout, "key=value" fields after a leading word, which
// bench/run.sh reads: e.g. "startup label=kelp runs=10 median_ms=..."
void report(const std::string& what, const std::string& label, const std::vector<double>& samples);

// A message on stderr, prefixed with the program's name.
void complain(const char* program, const std::string& text);

std::string utf8(const std::wstring& text);
std::wstring widen(const std::string& text);
// A number from the command line; fallback when absent or not a positive number.
int positiveArgument(const wchar_t* text, int fallback);

}  // namespace bench
