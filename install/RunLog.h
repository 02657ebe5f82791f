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
// The step lines of the log (LoggingPlatform, the lock) need it, and they
// are built without the wording module; so its two words live here.
std::string ErrorNumber(WinError error, Language language);

// Why the file asked for was not written, or why a /log path the user
// named is refused.
enum class LogProblem {
    None,               // the lines go where asked
    NoTemporaryFolder,  // no path: the system names no temporary folder
    IsLink,             // the file is a link
    HardLinks,          // the file has more than one name (links)
    OtherOwner,         // another account owns it (a run with administrator rights)
    LinkOnTheWay,       // a folder on its way is a link or a junction
    OpenElsewhere,      // another program has it open
    NoFolder,           // its folder does not exist
    CannotOpen,         // it cannot be opened (error)
};
struct LogTrouble {
    LogProblem problem = LogProblem::None;
    std::string asked;        // the path asked for
    std::uint32_t links = 0;  // HardLinks: how many names
    WinError error = 0;       // CannotOpen: the system's error
    std::string beside;       // the new file the lines go to instead; empty: no log
};

class RunLog {
public:
    // Opens the log once: sink's openLogFile, writeLogFile, closeLogFile,
    // discardLogFile, runsElevated, processId, localTime and randomNumber
    // are used, and nothing else. A file made for the log and then not used
    // is deleted through its handle, never by its name. An
    // empty path keeps no log. A file at path with more than one name, a
    // link at path, or, in a run with administrator rights, a file another
    // account owns is not written: the lines go to a new file beside it
    // (Kelp-<date>-<time>-<process id>-<random>.log), which trouble() names.
    // The caller words the trouble (the wording module) and, when the lines
    // went beside, writes that as the new file's first line.
    // A folder that does not exist, or one reached through a link, keeps no
    // log; for a path the user named (named) the run is refused instead:
    // refused() and trouble() say so, and nothing was created.
    // language is the language of the system's texts in the log.
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
    // instead, or that no log is kept; problem None when they go where asked.
    const LogTrouble& trouble() const { return trouble_; }
    // A named path that must not be used: trouble() says why.
    bool refused() const { return refused_; }
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
    // Why an opened file must not be written; None when it may.
    LogProblem problemOf(const LogFile& file);
    // Closes a file opened and not used.
    void letGo(const LogFile& file);
    // A file that cannot be opened: no log, or refusal for a named path.
    void keepNone(LogProblem why);

    Platform& sink_;
    std::string path_;
    Language language_;
    bool named_;
    bool refused_ = false;
    std::uintptr_t file_ = 0;
    bool writable_ = false;
    bool written_ = false;
    LogTrouble trouble_;
    std::function<void(const std::string&)> echo_;
};

}  // namespace kelp

