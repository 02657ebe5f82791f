#include "install/RunLog.h"

namespace kelp {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Hex2(unsigned value) {
    const char* digits = "0123456789ABCDEF";
    return std::string("\\x") + digits[(value >> 4) & 0xF] + digits[value & 0xF];
}

// The length of the UTF-8 sequence at text[i] and its code point; 0 when
// the bytes there are no valid sequence (overlong forms, surrogates and
// code points above U+10FFFF included).
std::size_t Utf8Sequence(const std::string& text, std::size_t i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    codePoint = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return length;
}

// Control characters (C0 but the tab, DEL, C1) as \xNN, bytes that are not
// UTF-8 as U+FFFD.
std::string LogSafe(const std::string& text) {
    std::string safe;
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = Utf8Sequence(text, i, codePoint);
        if (length == 0) {
            safe += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if ((codePoint < 0x20 && codePoint != '\t') || (codePoint >= 0x7F && codePoint <= 0x9F))
            safe += Hex2(codePoint);
        else
            safe.append(text, i, length);
        i += length;
    }
    return safe;
}

const char* RootName(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser: return "HKCU";
        case RegRoot::LocalMachine: return "HKLM";
        case RegRoot::CurrentConfig: return "HKCC";
    }
    return "?";
}

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

std::string ErrorNumber(WinError error, int englishFlag) {
    if (error == winerr::NoErrorCode) return englishFlag == 1 ? "no error code" : "无错误代码";
    return std::to_string(error);
}

Result<std::uintptr_t> AcquireInstallationLock(Platform& platform, RunLog* log) {
    const auto lock = platform.acquirePrivateMutex("Kelp", "Installation");
    if (lock.ok()) return {lock.value.handle, winerr::Success};
    if (lock.value.namespaceOpened) {
        const bool busy = lock.error == winerr::InstallAlreadyRunning || lock.error == winerr::AccessDenied;
        return {0, busy ? winerr::InstallAlreadyRunning : lock.error};
    }
    if (log)
        log->line("no private namespace for the lock (" + ErrorNumber(lock.error, 1) + "): the mutex " +
                  InstallationMutexName + " instead");
    return platform.acquireNamedMutex(InstallationMutexName);
}

RunLog::RunLog(Platform& sink, std::string path, int englishFlag, bool named)
    : sink_(sink), path_(std::move(path)), englishFlag_(englishFlag), named_(named) {
    open();
}

RunLog::~RunLog() {
    if (file_) sink_.closeLogFile(file_);
}

std::string RunLog::refusalOf(const LogFile& file) {
    const bool english = englishFlag_ == 1;
    if (file.reparsePoint) return english ? "it is a link" : "它是一个链接";
    if (file.links > 1)
        return english ? "it has " + std::to_string(file.links) + " names (hard links)"
                       : "它有 " + std::to_string(file.links) + " 个名称（硬链接）";
    if (!file.trustedOwner && sink_.runsElevated())
        return english ? "another account owns it" : "它属于其他帐户";
    return {};
}

void RunLog::keepNone(const std::string& why) {
    const bool english = englishFlag_ == 1;
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
    const bool english = englishFlag_ == 1;
    if (path_.empty()) {
        notice_ = english ? "The system names no temporary folder for the log. This run keeps no log."
                          : "系统未指定存放日志的临时文件夹。本次运行不保存日志。";
        return;
    }
    auto file = sink_.openLogFile(path_, false);
    std::string why;
    if (file.ok()) {
        why = refusalOf(file.value);
        if (why.empty()) {
            file_ = file.value.handle;
            writable_ = true;
            return;
        }
        sink_.closeLogFile(file.value.handle);
    } else if (file.error == winerr::SharingViolation) {
        why = english ? "another program has it open" : "另一个程序正在使用它";
    } else if (file.error == winerr::PathNotFound || file.error == winerr::FileNotFound) {
        // A file beside it would be in the same folder.
        return keepNone(english ? "its folder does not exist" : "它所在的文件夹不存在");
    } else if (file.error == winerr::StoppedOnSymlink) {
        return keepNone(english ? "a folder on its way is a link or a junction" : "路径中的文件夹是链接或交接点");
    } else {
        // A file this account may not open (a user may make one that
        // denies it) is never a reason to keep no log.
        why = (english ? "it cannot be opened (error " : "无法打开它（错误 ") + ErrorNumber(file.error, englishFlag_) +
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

void RunLog::line(const std::string& text) {
    const std::string safe = LogSafe(text);
    if (echo_) echo_(safe + "\r\n");
    if (!writable_) return;
    if (sink_.writeLogFile(file_, sink_.localTime() + " " + safe + "\r\n") != winerr::Success) {
        writable_ = false;
        return;
    }
    written_ = true;
}

LoggingPlatform::LoggingPlatform(Platform& inner, RunLog& log, int englishFlag) : inner_(inner), log_(log) {
    log_.setEnglishFlag(englishFlag);
}

WinError LoggingPlatform::step(const std::string& what, WinError error, bool change) {
    if (!change && error == winerr::Success) return error;
    std::string text = "step " + what + ": " + ErrorNumber(error, log_.englishFlag());
    if (error != winerr::Success) {
        const std::string reason = inner_.errorText(error, log_.englishFlag());
        if (!reason.empty()) text += " " + reason;
    }
    log_.line(text);
    return error;
}

std::string LoggingPlatform::keyName(RegKey key) const {
    const auto found = keys_.find(key);
    return found == keys_.end() ? "key #" + std::to_string(key) : found->second;
}

Result<std::vector<PortRecord>> LoggingPlatform::enumPorts() {
    auto result = inner_.enumPorts();
    step("EnumPorts", result.error, false);
    return result;
}

Result<std::vector<MonitorRecord>> LoggingPlatform::enumMonitors() {
    auto result = inner_.enumMonitors();
    step("EnumMonitors", result.error, false);
    return result;
}

WinError LoggingPlatform::addPort(WindowHandle owner, const std::string& monitorName) {
    return step("AddPort " + Quoted(monitorName), inner_.addPort(owner, monitorName));
}

WinError LoggingPlatform::configurePort(WindowHandle owner, const std::string& portName) {
    return step("ConfigurePort " + Quoted(portName), inner_.configurePort(owner, portName));
}

Result<std::vector<PrinterRecord>> LoggingPlatform::enumPrinters() {
    auto result = inner_.enumPrinters();
    step("EnumPrinters", result.error, false);
    return result;
}

Result<std::string> LoggingPlatform::printerDriverDirectory(const std::string& environment) {
    auto result = inner_.printerDriverDirectory(environment);
    step("GetPrinterDriverDirectory " + Quoted(environment) + (result.ok() ? " = " + Quoted(result.value) : ""),
         result.error);
    return result;
}

WinError LoggingPlatform::addPrinterDriver(const DriverInfo3& driver) {
    return step("AddPrinterDriver " + Quoted(driver.name) + " " + Quoted(driver.environment) + " data file " +
                    Quoted(driver.dataFile),
                inner_.addPrinterDriver(driver));
}

Result<PrinterHandle> LoggingPlatform::addPrinter(const PrinterInfo2& printer) {
    auto result = inner_.addPrinter(printer);
    step("AddPrinter " + Quoted(printer.printerName) + " on port " + Quoted(printer.portName) + " driver " +
             Quoted(printer.driverName),
         result.error);
    if (result.ok()) printers_[result.value] = printer.printerName;
    return result;
}

WinError LoggingPlatform::closePrinter(PrinterHandle printer) {
    const auto found = printers_.find(printer);
    const std::string name = found == printers_.end() ? "#" + std::to_string(printer) : found->second;
    const WinError error = inner_.closePrinter(printer);
    if (found != printers_.end()) printers_.erase(found);
    return step("ClosePrinter " + Quoted(name), error);
}

Result<RegKey> LoggingPlatform::regOpenKey(RegRoot root, const std::string& path, RegAccess access) {
    auto result = inner_.regOpenKey(root, path, access);
    const std::string name = std::string(RootName(root)) + "\\" + path;
    step("RegOpenKeyEx " + Quoted(name), result.error, false);
    if (result.ok()) keys_[result.value] = name;
    return result;
}

Result<RegKey> LoggingPlatform::regCreateKey(RegRoot root, const std::string& path) {
    auto result = inner_.regCreateKey(root, path);
    const std::string name = std::string(RootName(root)) + "\\" + path;
    step("RegCreateKeyEx " + Quoted(name), result.error);
    if (result.ok()) keys_[result.value] = name;
    return result;
}

WinError LoggingPlatform::regSetString(RegKey key, const std::string& name, const std::string& value) {
    return step("RegSetValueEx " + Quoted(keyName(key)) + " " + Quoted(name) + " = " + Quoted(value),
                inner_.regSetString(key, name, value));
}

WinError LoggingPlatform::regSetDword(RegKey key, const std::string& name, std::uint32_t value) {
    return step("RegSetValueEx " + Quoted(keyName(key)) + " " + Quoted(name) + " = " + std::to_string(value),
                inner_.regSetDword(key, name, value));
}

Result<RegValue> LoggingPlatform::regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) {
    auto result = inner_.regQueryValue(key, name, maxBytes);
    step("RegQueryValueEx " + Quoted(keyName(key)) + " " + Quoted(name), result.error, false);
    return result;
}

// The end of the values is how every scan ends: not worth a line.
Result<RegEnumEntry> LoggingPlatform::regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                                   std::size_t maxDataBytes) {
    auto result = inner_.regEnumValue(key, index, maxNameBytes, maxDataBytes);
    if (result.error != winerr::NoMoreItems)
        step("RegEnumValue " + Quoted(keyName(key)) + " " + std::to_string(index), result.error, false);
    return result;
}

WinError LoggingPlatform::regCloseKey(RegKey key) {
    const WinError error = inner_.regCloseKey(key);
    step("RegCloseKey " + Quoted(keyName(key)), error, false);
    keys_.erase(key);
    return error;
}

WinError LoggingPlatform::shellOpen(const std::string& path) {
    return step("ShellExecute open " + Quoted(path), inner_.shellOpen(path));
}

Result<OsVersionInfo> LoggingPlatform::versionQuery(VersionRecordForm form) {
    auto result = inner_.versionQuery(form);
    step("GetVersionEx", result.error, false);
    return result;
}

std::uint32_t LoggingPlatform::activeCodePage() { return inner_.activeCodePage(); }

Result<std::string> LoggingPlatform::currentDirectory(std::size_t capacity) {
    auto result = inner_.currentDirectory(capacity);
    step("GetCurrentDirectory", result.error, false);
    return result;
}

std::optional<int> LoggingPlatform::isWow64Process() { return inner_.isWow64Process(); }

WinError LoggingPlatform::copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    return step("CopyFile " + Quoted(source) + " to " + Quoted(destination),
                inner_.copyFile(source, destination, failIfExists));
}

void LoggingPlatform::sleep(std::uint32_t milliseconds) { inner_.sleep(milliseconds); }
void LoggingPlatform::debugOutput(const std::string& text) { inner_.debugOutput(text); }
std::string LoggingPlatform::errorText(WinError error, int englishFlag) { return inner_.errorText(error, englishFlag); }

WinError LoggingPlatform::deletePrinter(const std::string& name) {
    return step("DeletePrinter " + Quoted(name), inner_.deletePrinter(name));
}

WinError LoggingPlatform::deletePrinterDriver(const std::string& environment, const std::string& name,
                                              bool deleteUnusedFiles) {
    return step(std::string(deleteUnusedFiles ? "DeletePrinterDriverEx (unused files too) " : "DeletePrinterDriver ") +
                    Quoted(name) + " " + Quoted(environment),
                inner_.deletePrinterDriver(environment, name, deleteUnusedFiles));
}

Result<std::vector<DriverInfo3>> LoggingPlatform::enumPrinterDrivers(const std::string& environment) {
    auto result = inner_.enumPrinterDrivers(environment);
    step("EnumPrinterDrivers " + Quoted(environment), result.error, false);
    return result;
}

WinError LoggingPlatform::deleteFile(const std::string& path) {
    return step("DeleteFile " + Quoted(path), inner_.deleteFile(path));
}

Result<PrinterHandle> LoggingPlatform::openPrinter(const std::string& name) {
    auto result = inner_.openPrinter(name);
    step("OpenPrinter " + Quoted(name), result.error);
    if (result.ok()) printers_[result.value] = name;
    return result;
}

Result<std::uint32_t> LoggingPlatform::startRawDocument(PrinterHandle printer, const std::string& documentName) {
    const auto found = printers_.find(printer);
    auto result = inner_.startRawDocument(printer, documentName);
    step("StartDocPrinter RAW " + Quoted(documentName) + " on " +
             Quoted(found == printers_.end() ? "#" + std::to_string(printer) : found->second) +
             (result.ok() ? " job " + std::to_string(result.value) : ""),
         result.error);
    return result;
}

WinError LoggingPlatform::writePrinter(PrinterHandle printer, const std::string& bytes) {
    return step("WritePrinter " + std::to_string(bytes.size()) + " bytes", inner_.writePrinter(printer, bytes));
}

WinError LoggingPlatform::endRawDocument(PrinterHandle printer) {
    return step("EndDocPrinter", inner_.endRawDocument(printer));
}

std::string LoggingPlatform::tempDirectory() { return inner_.tempDirectory(); }
std::string LoggingPlatform::moduleDirectory() { return inner_.moduleDirectory(); }
std::string LoggingPlatform::localTime() { return inner_.localTime(); }
std::string LoggingPlatform::userName() { return inner_.userName(); }

Result<std::uintptr_t> LoggingPlatform::acquireNamedMutex(const std::string& name) {
    auto result = inner_.acquireNamedMutex(name);
    step("take mutex " + Quoted(name), result.error);
    return result;
}

void LoggingPlatform::releaseNamedMutex(std::uintptr_t mutex) { inner_.releaseNamedMutex(mutex); }
bool LoggingPlatform::consoleWrite(const std::string& text) { return inner_.consoleWrite(text); }
void LoggingPlatform::messageBoxWithoutWindow(const std::string& title, const std::string& text) {
    inner_.messageBoxWithoutWindow(title, text);
}

Result<LogFile> LoggingPlatform::openLogFile(const std::string& path, bool createNew) {
    return inner_.openLogFile(path, createNew);
}
WinError LoggingPlatform::writeLogFile(std::uintptr_t file, const std::string& bytes) {
    return inner_.writeLogFile(file, bytes);
}
void LoggingPlatform::closeLogFile(std::uintptr_t file) { inner_.closeLogFile(file); }
bool LoggingPlatform::runsElevated() { return inner_.runsElevated(); }
std::uint32_t LoggingPlatform::processId() { return inner_.processId(); }

Result<PrivateMutex> LoggingPlatform::acquirePrivateMutex(const std::string& namespaceName,
                                                          const std::string& mutexName) {
    auto result = inner_.acquirePrivateMutex(namespaceName, mutexName);
    step("take mutex " + Quoted(namespaceName + "\\" + mutexName) + " (private namespace)", result.error);
    return result;
}

bool LoggingPlatform::windowStationVisible() { return inner_.windowStationVisible(); }
std::optional<std::uint32_t> LoggingPlatform::sessionId() { return inner_.sessionId(); }
std::uint64_t LoggingPlatform::randomNumber() { return inner_.randomNumber(); }
Result<std::vector<UsbPrinterInterface>> LoggingPlatform::usbPrinterInterfaces() {
    auto result = inner_.usbPrinterInterfaces();
    step("list USB printer interfaces (SetupAPI)", result.error, false);
    return result;
}

WinError LoggingPlatform::setPrinterPort(const std::string& name, const std::string& port) {
    return step("SetPrinter " + Quoted(name) + " port " + Quoted(port), inner_.setPrinterPort(name, port));
}

// Polled while a job is followed: only a failure is worth a line.
Result<JobRecord> LoggingPlatform::getJob(PrinterHandle printer, std::uint32_t jobId) {
    auto result = inner_.getJob(printer, jobId);
    step("GetJob " + std::to_string(jobId), result.error, false);
    return result;
}

WinError LoggingPlatform::deleteJob(PrinterHandle printer, std::uint32_t jobId) {
    return step("SetJob " + std::to_string(jobId) + " delete", inner_.deleteJob(printer, jobId));
}

Result<std::string> LoggingPlatform::fullPathName(const std::string& path) {
    auto result = inner_.fullPathName(path);
    step("GetFullPathName " + Quoted(path), result.error, false);
    return result;
}

}  // namespace kelp
