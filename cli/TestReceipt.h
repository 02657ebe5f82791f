// The bytes of a test receipt, as a receipt printer takes them in a RAW job:
// initialise, a few lines of text, paper feed and cut. The Chinese edition's
// text is in GB18030, the code these printers print Chinese in.
#pragma once

#include <string>

namespace kelp {

constexpr const char* KelpVersionText = "Kelp 4.0";

// model, port and time are printed as given; englishFlag 1 gives the
// English edition's lines, else the Chinese edition's.
std::string TestReceiptBytes(const std::string& model, const std::string& port, const std::string& time,
                             int englishFlag);

// UTF-8 to GB18030 for ASCII and the Chinese characters of the receipt's
// own texts; any other character becomes '?'.
std::string ToReceiptGb18030(const std::string& utf8);

}  // namespace kelp
