// The log of one run, wizard or command line: UTF-8 lines appended to one
// file, so that a support desk can ask for one file whatever the user did,
// and the rules that decide whether a file found at the log's name may be
// written. A log that cannot be written never stops a run; only a path the
// user named that must not be used (its folder missing, a link on the way)
// refuses one.
#pragma once

#include <functional>
#include <string>

#include "install/LogText.h"
#include "platform/Platform.h"

namespace kelp {

// The log's file name in the system's temporary folder for this account
// (for SYSTEM one that standard users cannot write), for a run that names no
// log of its own; the path is empty when the system names no such folder.
constexpr const char* DefaultLogName = "Kelp.log";
std::string DefaultLogPath(Platform& platform);

// "no error code" for a call that failed without one, else the number.
std::string ErrorNumber(WinError error, Language language);

class RunLog {
public:
    // Opens the log once: sink's openLogFile, writeLogFile, closeLogFile,
    // discardLogFile, runsElevated, processId, localTime and randomNumber
    // are used, and nothing else. A file made for the log and then not used
    // is deleted through its handle, never by its name. An
    // empty path keeps no log. A file at path with more than one name, a
    // link at path, or, in a run with administrator rights, a file another
    // account owns is not written: the lines go to a new file beside it
    // (Kelp-<date>-<time>-<process id>-<random>.log), which notice() names.
    // A folder that does not exist, or one reached through a link, keeps no
    // log; for a path the user named (named) the run is refused instead:
    // refused() and refusal() say so, and nothing was created.
    // language is the language of the notice and of the system's texts.
    RunLog(Platform& sink, std::string path, Language language = Language::English, bool named = false);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // The file the lines go to.
    const std::string& path() const { return path_; }
    // False when no file is open or a write has failed; nothing more is
    // attempted then.
    bool writable() const { return writable_; }
    // Whether a line has reached the file.
    bool written() const { return written_; }
    // Why the file asked for was not written and where the lines go
    // instead, or that no log is kept; empty when they go where asked.
    const std::string& notice() const { return notice_; }
    // A named path that must not be used, and why ("/log \"...\": ...").
    bool refused() const { return !refusal_.empty(); }
    const std::string& refusal() const { return refusal_; }
    Language language() const { return language_; }
    void setLanguage(Language language) { language_ = language; }
    // Each line also goes to echo, when set (the command line's console).
    void setEcho(std::function<void(const std::string& line)> echo) { echo_ = std::move(echo); }

    // One line: the local time, then the text escaped (EscapedText), so
    // that nothing in a text (a device's id, a port's name) can start a line
    // of its own.
    void line(const std::string& text);

private:
    void open();
    // Why an opened file must not be written; empty when it may.
    std::string refusalOf(const LogFile& file);
    // Closes a file opened and not used.
    void letGo(const LogFile& file);
    // A file that cannot be opened: notice, or refusal for a named path.
    void keepNone(const std::string& why);

    Platform& sink_;
    std::string path_;
    Language language_;
    bool named_;
    std::string refusal_;
    std::uintptr_t file_ = 0;
    bool writable_ = false;
    bool written_ = false;
    std::string notice_;
    std::function<void(const std::string&)> echo_;
};

}  // namespace kelp

