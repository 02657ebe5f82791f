// The log of one run, wizard or command line: UTF-8 lines appended to one
// file, so that a support desk can ask for one file whatever the user did.
//
// LoggingPlatform stands in front of the real Platform: it hands every call
// on and writes each step that changes the machine, and each step that
// failed, with its Windows error code and the system's text for it. A log
// that cannot be written is given up quietly; it never stops a run.
#pragma once

#include <functional>
#include <string>

#include "platform/HandleMap.h"
#include "platform/Platform.h"

namespace kelp {

// The mutex every installation, removal and test receipt holds while it
// runs, the wizard's Install too.
constexpr const char* InstallationMutexName = "Global\\Kelp.Installation";

// The log's file name in the system's temporary folder for this account
// (for SYSTEM one that standard users cannot write), for a run that names no
// log of its own; the path is empty when the system names no such folder.
constexpr const char* DefaultLogName = "Kelp.log";
std::string DefaultLogPath(Platform& platform);

// "no error code" for a call that failed without one, else the number.
std::string ErrorNumber(WinError error, int englishFlag);

// Takes the installation lock: the mutex in Kelp's private namespace, or,
// where no such namespace can be made (Windows before Vista, Wine, a run
// without administrator rights), InstallationMutexName, saying so in the log.
class RunLog;
Result<std::uintptr_t> AcquireInstallationLock(Platform& platform, RunLog* log);

class RunLog {
public:
    // Opens the log once: sink's openLogFile, writeLogFile, closeLogFile,
    // runsElevated, processId and localTime are used, and nothing else. An
    // empty path keeps no log. A file at path with more than one name, a
    // link at path, or, in a run with administrator rights, a file another
    // account owns is not written: the lines go to a new file beside it
    // (Kelp-<date>-<time>-<process id>.log), which notice() names.
    // englishFlag is the language of the notice and of the system's texts.
    RunLog(Platform& sink, std::string path, int englishFlag = 1);
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
    // instead; empty when they go where asked.
    const std::string& notice() const { return notice_; }
    int englishFlag() const { return englishFlag_; }
    void setEnglishFlag(int englishFlag) { englishFlag_ = englishFlag; }
    // Each line also goes to echo, when set (the command line's console).
    void setEcho(std::function<void(const std::string& line)> echo) { echo_ = std::move(echo); }

    // One line: the local time, then the text.
    void line(const std::string& text);

private:
    void open();
    // Why an opened file must not be written; empty when it may.
    std::string refusal(const LogFile& file);

    Platform& sink_;
    std::string path_;
    int englishFlag_;
    std::uintptr_t file_ = 0;
    bool writable_ = false;
    bool written_ = false;
    std::string notice_;
    std::function<void(const std::string&)> echo_;
};

class LoggingPlatform final : public Platform {
public:
    // englishFlag chooses the language of the system's error texts; it is
    // the log's (RunLog::setEnglishFlag changes it for both).
    LoggingPlatform(Platform& inner, RunLog& log, int englishFlag);

    void setEnglishFlag(int englishFlag) { log_.setEnglishFlag(englishFlag); }

    Result<std::vector<PortRecord>> enumPorts() override;
    Result<std::vector<MonitorRecord>> enumMonitors() override;
    WinError addPort(WindowHandle owner, const std::string& monitorName) override;
    WinError configurePort(WindowHandle owner, const std::string& portName) override;
    Result<std::vector<PrinterRecord>> enumPrinters() override;
    Result<std::string> printerDriverDirectory(const std::string& environment) override;
    WinError addPrinterDriver(const DriverInfo3& driver) override;
    Result<PrinterHandle> addPrinter(const PrinterInfo2& printer) override;
    WinError closePrinter(PrinterHandle printer) override;
    Result<RegKey> regOpenKey(RegRoot root, const std::string& path, RegAccess access) override;
    Result<RegKey> regCreateKey(RegRoot root, const std::string& path) override;
    WinError regSetString(RegKey key, const std::string& name, const std::string& value) override;
    WinError regSetDword(RegKey key, const std::string& name, std::uint32_t value) override;
    Result<RegValue> regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) override;
    Result<RegEnumEntry> regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                      std::size_t maxDataBytes) override;
    WinError regCloseKey(RegKey key) override;
    WinError shellOpen(const std::string& path) override;
    Result<OsVersionInfo> versionQuery(VersionRecordForm form) override;
    std::uint32_t activeCodePage() override;
    Result<std::string> currentDirectory(std::size_t capacity) override;
    std::optional<int> isWow64Process() override;
    WinError copyFile(const std::string& source, const std::string& destination, bool failIfExists) override;
    void sleep(std::uint32_t milliseconds) override;
    void debugOutput(const std::string& text) override;
    std::string errorText(WinError error, int englishFlag) override;
    WinError deletePrinter(const std::string& name) override;
    WinError deletePrinterDriver(const std::string& environment, const std::string& name,
                                 bool deleteUnusedFiles) override;
    Result<std::vector<DriverInfo3>> enumPrinterDrivers(const std::string& environment) override;
    WinError deleteFile(const std::string& path) override;
    Result<PrinterHandle> openPrinter(const std::string& name) override;
    Result<std::uint32_t> startRawDocument(PrinterHandle printer, const std::string& documentName) override;
    WinError writePrinter(PrinterHandle printer, const std::string& bytes) override;
    WinError endRawDocument(PrinterHandle printer) override;
    std::string tempDirectory() override;
    std::string moduleDirectory() override;
    std::string localTime() override;
    std::string userName() override;
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override;
    void releaseNamedMutex(std::uintptr_t mutex) override;
    bool consoleWrite(const std::string& text) override;
    void messageBoxWithoutWindow(const std::string& title, const std::string& text) override;
    Result<LogFile> openLogFile(const std::string& path, bool createNew) override;
    WinError writeLogFile(std::uintptr_t file, const std::string& bytes) override;
    void closeLogFile(std::uintptr_t file) override;
    bool runsElevated() override;
    std::uint32_t processId() override;
    Result<std::uintptr_t> acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) override;
    bool windowStationVisible() override;
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override;
    WinError setPrinterPort(const std::string& name, const std::string& port) override;
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override;
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override;
    Result<std::string> fullPathName(const std::string& path) override;
    // The TCP/IP monitor's calls (LoggingPlatformTcpIp.cpp).
    WinError addTcpIpPort(const TcpIpPortConfig& port) override;
    WinError deleteTcpIpPort(const std::string& portName) override;
    Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) override;

private:
    // "step <what>: <error>[ <text>]"; always for a change, only on failure
    // for a query.
    WinError step(const std::string& what, WinError error, bool change = true);
    std::string keyName(RegKey key) const;

    Platform& inner_;
    RunLog& log_;
    HandleMap<std::string> keys_;  // open keys: "HKLM\path"
    HandleMap<std::string> printers_;
};

}  // namespace kelp
