#include "install/RunLog.h"

namespace kelp {

namespace {

constexpr Bilingual kNoErrorCode = {"无错误代码", "no error code"};

// Sixteen hex digits.
std::string RandomPart(std::uint64_t number) {
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, number >>= 4) text[i] = "0123456789abcdef"[number & 0xF];
    return text;
}

}  // namespace

std::string DefaultLogPath(Platform& platform) {
    std::string folder = platform.tempDirectory();
    if (folder.empty()) return {};
    if (folder.back() != '\\') folder += '\\';
    return folder + DefaultLogName;
}

std::string ErrorNumber(WinError error, Language language) {
    if (error == winerr::NoErrorCode) return kNoErrorCode.in(language);
    return std::to_string(error);
}

RunLog::RunLog(Platform& sink, std::string path, Language language, bool named)
    : sink_(sink), path_(std::move(path)), language_(language), named_(named) {
    open();
}

RunLog::~RunLog() {
    if (file_) sink_.closeLogFile(file_);
}

LogProblem RunLog::problemOf(const LogFile& file) {
    if (file.reparsePoint) return LogProblem::IsLink;
    if (file.links > 1) {
        trouble_.links = file.links;
        return LogProblem::HardLinks;
    }
    if (!file.trustedOwner && sink_.runsElevated()) return LogProblem::OtherOwner;
    return LogProblem::None;
}

void RunLog::keepNone(LogProblem why) {
    trouble_.problem = why;
    refused_ = named_;
}

// The file asked for, when it is a plain file of a trusted account; else a
// new file beside it.
void RunLog::open() {
    trouble_.asked = path_;
    if (path_.empty()) {
        trouble_.problem = LogProblem::NoTemporaryFolder;
        return;
    }
    auto file = sink_.openLogFile(path_, false);
    LogProblem why = LogProblem::None;
    if (file.ok() && file.value.linkOnTheWay) {
        letGo(file.value);
        return keepNone(LogProblem::LinkOnTheWay);
    }
    if (file.ok()) {
        why = problemOf(file.value);
        if (why == LogProblem::None) {
            file_ = file.value.handle;
            writable_ = true;
            return;
        }
        letGo(file.value);
    } else if (file.error == winerr::SharingViolation) {
        why = LogProblem::OpenElsewhere;
    } else if (file.error == winerr::PathNotFound || file.error == winerr::FileNotFound) {
        // A file beside it would be in the same folder.
        return keepNone(LogProblem::NoFolder);
    } else if (file.error == winerr::StoppedOnSymlink) {
        return keepNone(LogProblem::LinkOnTheWay);
    } else {
        // A file this account may not open (a user may make one that
        // denies it) is never a reason to keep no log.
        why = LogProblem::CannotOpen;
        trouble_.error = file.error;
    }
    trouble_.problem = why;

    std::string stamp;
    for (const char c : sink_.localTime()) {
        if (c == ' ') stamp += '-';
        else if (c != '-' && c != ':') stamp += c;
    }
    const std::size_t slash = path_.find_last_of("\\/");
    const std::string stem = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + "Kelp-" +
                             stamp + "-" + std::to_string(sink_.processId()) + "-";
    // Made now, or not at all: nothing anybody put at that name is opened.
    // A random part keeps the name from being guessed and planted first; a
    // name taken all the same gives way to another.
    Result<LogFile> fresh{{}, winerr::FileExists};
    std::string beside;
    for (int attempt = 0; attempt < 10 && fresh.error == winerr::FileExists; ++attempt) {
        beside = stem + RandomPart(sink_.randomNumber()) + ".log";
        fresh = sink_.openLogFile(beside, true);
    }
    if (fresh.ok() && fresh.value.linkOnTheWay) {
        letGo(fresh.value);
        fresh.error = winerr::StoppedOnSymlink;
    }
    if (!fresh.ok()) return;
    file_ = fresh.value.handle;
    writable_ = true;
    path_ = beside;
    trouble_.beside = beside;
}

// A file this run made goes again, through its handle; one that was there
// is left as it was.
void RunLog::letGo(const LogFile& file) {
    if (file.created)
        sink_.discardLogFile(file.handle);
    else
        sink_.closeLogFile(file.handle);
}

void RunLog::line(const std::string& text) {
    const std::string safe = EscapedText(text);
    if (echo_) echo_(safe + "\r\n");
    if (!writable_) return;
    if (sink_.writeLogFile(file_, sink_.localTime() + " " + safe + "\r\n") != winerr::Success) {
        writable_ = false;
        return;
    }
    written_ = true;
}

}  // namespace kelp
