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

// The text between quotes, a quote in it escaped too.
std::string QuotedText(std::string_view text);

}  // namespace kelp
