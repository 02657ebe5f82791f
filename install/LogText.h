// The one escaping of texts that go to the run's log or to a console: a
// text from outside (a device's id, a port's name or host, a command line's
// argument) can neither start a line of its own nor break the file's UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kelp {

// Each control character (C0 but the tab, DEL, C1) and each character of
// alsoEscaped (ASCII: a quote that delimits the text, a tab that separates
// columns) as \xNN, each byte that is not UTF-8 as U+FFFD; any other text
// as it is.
std::string EscapedText(std::string_view text, std::string_view alsoEscaped = {});

// A text from outside Kelp (a spooler record, a registry value, a peer's
// bytes, what a person typed) as it goes into a message: as EscapedText,
// its tabs too, and each bidirectional control (U+202A to U+202E, U+2066 to
// U+2069) as \uNNNN, so that it can neither add a line or a column nor turn
// the rest of the line around. Backslashes stay: a path stays readable.
std::string OutsideText(std::string_view text);

// An outside text between quotes, a quote in it escaped too.
std::string QuotedText(std::string_view text);

}  // namespace kelp
