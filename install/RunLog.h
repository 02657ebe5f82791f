// The log of one run, wizard or command line: UTF-8 lines appended to one
// file, so that a support desk can ask for one file whatever the user did.
//
// LoggingPlatform stands in front of the real Platform: it hands every call
// on and writes each step that changes the machine, and each step that
// failed, with its Windows error code and the system's text for it. A log
// that cannot be written is given up quietly; it never stops a run.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/Platform.h"

namespace kelp {

// The mutex every installation, removal and test receipt holds while it
// runs, the wizard's Install too.
constexpr const char* InstallationMutexName = "Global\\Kelp.Installation";

// The log's file name in the user's temporary folder, for a run that names
// no log of its own; the path is empty when the system names no such folder.
constexpr const char* DefaultLogName = "Kelp.log";
std::string DefaultLogPath(Platform& platform);

class RunLog {
public:
    // sink writes the file (its appendFile and localTime are used, and
    // nothing else); an empty path keeps no log.
    RunLog(Platform& sink, std::string path);

    const std::string& path() const { return path_; }
    // False once a write has failed; nothing more is attempted then.
    bool writable() const { return writable_; }
    // Each line also goes to echo, when set (the command line's console).
    void setEcho(std::function<void(const std::string& line)> echo) { echo_ = std::move(echo); }

    // One line: the local time, then the text.
    void line(const std::string& text);

private:
    Platform& sink_;
    std::string path_;
    bool writable_ = true;
    std::function<void(const std::string&)> echo_;
};

class LoggingPlatform final : public Platform {
public:
    // englishFlag chooses the language of the system's error texts.
    LoggingPlatform(Platform& inner, RunLog& log, int englishFlag);

    void setEnglishFlag(int englishFlag) { englishFlag_ = englishFlag; }

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
    WinError appendFile(const std::string& path, const std::string& bytes) override;
    std::string tempDirectory() override;
    std::string moduleDirectory() override;
    std::string localTime() override;
    std::string userName() override;
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override;
    void releaseNamedMutex(std::uintptr_t mutex) override;
    bool consoleWrite(const std::string& text) override;
    void messageBoxWithoutWindow(const std::string& title, const std::string& text) override;
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override;
    WinError setPrinterPort(const std::string& name, const std::string& port) override;
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override;
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override;
    Result<std::string> fullPathName(const std::string& path) override;

private:
    // "step <what>: <error>[ <text>]"; always for a change, only on failure
    // for a query.
    WinError step(const std::string& what, WinError error, bool change = true);
    std::string keyName(RegKey key) const;

    Platform& inner_;
    RunLog& log_;
    int englishFlag_;
    std::map<RegKey, std::string> keys_;  // open keys: "HKLM\path"
    std::map<PrinterHandle, std::string> printers_;
};

}  // namespace kelp
