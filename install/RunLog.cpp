#include "install/RunLog.h"

namespace kelp {

namespace {

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
    if (error == winerr::NoErrorCode) return language == Language::English ? "no error code" : "无错误代码";
    return std::to_string(error);
}

RunLog::RunLog(Platform& sink, std::string path, Language language, bool named)
    : sink_(sink), path_(std::move(path)), language_(language), named_(named) {
    open();
}

RunLog::~RunLog() {
    if (file_) sink_.closeLogFile(file_);
}

std::string RunLog::refusalOf(const LogFile& file) {
    const bool english = language_ == Language::English;
    if (file.reparsePoint) return english ? "it is a link" : "它是一个链接";
    if (file.links > 1)
        return english ? "it has " + std::to_string(file.links) + " names (hard links)"
                       : "它有 " + std::to_string(file.links) + " 个名称（硬链接）";
    if (!file.trustedOwner && sink_.runsElevated())
        return english ? "another account owns it" : "它属于其他帐户";
    return {};
}

void RunLog::keepNone(const std::string& why) {
    const bool english = language_ == Language::English;
    if (named_) {
        refusal_ = (english ? "/log \"" : "/log“") + path_ + (english ? "\": " : "”：") + why;
        return;
    }
    notice_ = (english ? "The log \"" : "未写入日志“") + path_ + (english ? "\" was not written: " : "”：") + why +
              (english ? ". This run keeps no log." : "。本次运行不保存日志。");
}

// The file asked for, when it is a plain file of a trusted account; else a
// new file beside it.
void RunLog::open() {
    const bool english = language_ == Language::English;
    if (path_.empty()) {
        notice_ = english ? "The system names no temporary folder for the log. This run keeps no log."
                          : "系统未指定存放日志的临时文件夹。本次运行不保存日志。";
        return;
    }
    const std::string linked = english ? "a folder on its way is a link or a junction" : "路径中的文件夹是链接或交接点";
    auto file = sink_.openLogFile(path_, false);
    std::string why;
    if (file.ok() && file.value.linkOnTheWay) {
        letGo(file.value);
        return keepNone(linked);
    } else if (file.ok()) {
        why = refusalOf(file.value);
        if (why.empty()) {
            file_ = file.value.handle;
            writable_ = true;
            return;
        }
        letGo(file.value);
    } else if (file.error == winerr::SharingViolation) {
        why = english ? "another program has it open" : "另一个程序正在使用它";
    } else if (file.error == winerr::PathNotFound || file.error == winerr::FileNotFound) {
        // A file beside it would be in the same folder.
        return keepNone(english ? "its folder does not exist" : "它所在的文件夹不存在");
    } else if (file.error == winerr::StoppedOnSymlink) {
        return keepNone(linked);
    } else {
        // A file this account may not open (a user may make one that
        // denies it) is never a reason to keep no log.
        why = (english ? "it cannot be opened (error " : "无法打开它（错误 ") + ErrorNumber(file.error, language_) +
              (english ? ")" : "）");
    }

    std::string stamp;
    for (const char c : sink_.localTime()) {
        if (c == ' ') stamp += '-';
        else if (c != '-' && c != ':') stamp += c;
    }
    const std::size_t slash = path_.find_last_of("\\/");
    const std::string stem = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + "Kelp-" +
                             stamp + "-" + std::to_string(sink_.processId()) + "-";
    notice_ = (english ? "The log \"" : "未写入日志“") + path_ + (english ? "\" was not written: " : "”：") + why;
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
    if (!fresh.ok()) {
        notice_ += english ? ". This run keeps no log." : "。本次运行不保存日志。";
        return;
    }
    file_ = fresh.value.handle;
    writable_ = true;
    path_ = beside;
    notice_ += (english ? ". This run's log: " : "。本次运行的日志：") + beside;
    line(notice_);
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
