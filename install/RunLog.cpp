#include "install/RunLog.h"

namespace kelp {

namespace {

// Why a file at the log's name is not written.
constexpr Bilingual kIsLink = {"它是一个链接", "it is a link"};
constexpr Bilingual kHardLinks = {"它有 %1 个名称（硬链接）", "it has %1 names (hard links)"};
constexpr Bilingual kOtherOwner = {"它属于其他帐户", "another account owns it"};
constexpr Bilingual kLinkOnTheWay = {"路径中的文件夹是链接或交接点", "a folder on its way is a link or a junction"};
constexpr Bilingual kOpenElsewhere = {"另一个程序正在使用它", "another program has it open"};
constexpr Bilingual kNoFolder = {"它所在的文件夹不存在", "its folder does not exist"};
constexpr Bilingual kCannotOpen = {"无法打开它（错误 %1）", "it cannot be opened (error %1)"};
// The refusal of a /log path (%1) and the notice of a log not written, with
// why (%2); then no log, or the log beside it (%1).
constexpr Bilingual kRefused = {"/log“%1”：%2", "/log \"%1\": %2"};
constexpr Bilingual kNotWritten = {"未写入日志“%1”：%2", "The log \"%1\" was not written: %2"};
constexpr Bilingual kNoLog = {"。本次运行不保存日志。", ". This run keeps no log."};
constexpr Bilingual kLogBeside = {"。本次运行的日志：%1", ". This run's log: %1"};
constexpr Bilingual kNoTemporaryFolder = {"系统未指定存放日志的临时文件夹。本次运行不保存日志。",
                                          "The system names no temporary folder for the log. This run keeps no log."};
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

std::string RunLog::refusalOf(const LogFile& file) {
    if (file.reparsePoint) return kIsLink.in(language_);
    if (file.links > 1) return Fill(kHardLinks.in(language_), {std::to_string(file.links)});
    if (!file.trustedOwner && sink_.runsElevated()) return kOtherOwner.in(language_);
    return {};
}

void RunLog::keepNone(const std::string& why) {
    if (named_) {
        refusal_ = Fill(kRefused.in(language_), {OutsideText(path_), why});
        return;
    }
    notice_ = Fill(kNotWritten.in(language_), {OutsideText(path_), why}) + kNoLog.in(language_);
}

// The file asked for, when it is a plain file of a trusted account; else a
// new file beside it.
void RunLog::open() {
    if (path_.empty()) {
        notice_ = kNoTemporaryFolder.in(language_);
        return;
    }
    const std::string linked = kLinkOnTheWay.in(language_);
    auto file = sink_.openLogFile(path_, false);
    std::string why;
    if (file.ok() && file.value.linkOnTheWay) {
        letGo(file.value);
        return keepNone(linked);
    }
    if (file.ok()) {
        why = refusalOf(file.value);
        if (why.empty()) {
            file_ = file.value.handle;
            writable_ = true;
            return;
        }
        letGo(file.value);
    } else if (file.error == winerr::SharingViolation) {
        why = kOpenElsewhere.in(language_);
    } else if (file.error == winerr::PathNotFound || file.error == winerr::FileNotFound) {
        // A file beside it would be in the same folder.
        return keepNone(kNoFolder.in(language_));
    } else if (file.error == winerr::StoppedOnSymlink) {
        return keepNone(linked);
    } else {
        // A file this account may not open (a user may make one that
        // denies it) is never a reason to keep no log.
        why = Fill(kCannotOpen.in(language_), {ErrorNumber(file.error, language_)});
    }

    std::string stamp;
    for (const char c : sink_.localTime()) {
        if (c == ' ') stamp += '-';
        else if (c != '-' && c != ':') stamp += c;
    }
    const std::size_t slash = path_.find_last_of("\\/");
    const std::string stem = (slash == std::string::npos ? std::string() : path_.substr(0, slash + 1)) + "Kelp-" +
                             stamp + "-" + std::to_string(sink_.processId()) + "-";
    notice_ = Fill(kNotWritten.in(language_), {OutsideText(path_), why});
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
        notice_ += kNoLog.in(language_);
        return;
    }
    file_ = fresh.value.handle;
    writable_ = true;
    path_ = beside;
    notice_ += Fill(kLogBeside.in(language_), {OutsideText(beside)});
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
