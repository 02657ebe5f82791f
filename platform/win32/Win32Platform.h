// Platform over the Win32 W functions: the spooler (winspool.drv, loaded on
// first use from the system folder: SystemDlls.h), the registry
// (advapi32), the shell (shell32) and a few kernel32 queries. Text crosses
// this class as UTF-8 and meets Windows as UTF-16.
//
// Every Windows result is looked at here and handed up as a value with its
// error code; no exception leaves these functions (a failed allocation is
// reported as ERROR_NOT_ENOUGH_MEMORY).
#pragma once

#include "platform/Platform.h"

namespace kelp::win32 {

class Win32Platform final : public Platform {
public:
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
    // REG_SZ and REG_EXPAND_SZ data come back as UTF-8 text with its
    // terminating zero; maxBytes then counts characters (UTF-16 units, the
    // terminating zero included), as the ANSI call counts the bytes of its
    // text. Any other type comes back as the stored bytes, at most maxBytes.
    Result<RegValue> regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) override;
    // maxNameBytes counts the characters of the name, terminating zero
    // included; maxDataBytes as maxBytes of regQueryValue.
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
    std::string errorText(WinError error, Language language) override;

    // Removal, test printing and the command line's needs
    // (Win32PlatformRun.cpp).
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
    // A mutex that exists but cannot be opened (created by another account
    // with rights this one lacks) exists only while another run holds it,
    // so it counts as held.
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override;
    void releaseNamedMutex(std::uintptr_t mutex) override;
    // Standard output when the starter handed one over (a pipe or a file:
    // UTF-8), else the parent's console, attached on first use (UTF-16).
    bool consoleWrite(const std::string& text) override;
    void messageBoxWithoutWindow(const std::string& title, const std::string& text) override;
    Result<LogFile> openLogFile(const std::string& path, bool createNew) override;
    WinError writeLogFile(std::uintptr_t file, const std::string& bytes) override;
    void closeLogFile(std::uintptr_t file) override;
    WinError discardLogFile(std::uintptr_t file) override;
    bool runsElevated() override;
    std::uint32_t processId() override;
    Result<PrivateMutex> acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) override;
    bool windowStationVisible() override;
    std::optional<std::uint32_t> sessionId() override;
    std::uint64_t randomNumber() override;

    // USB printer interfaces, moving a printer, following a job
    // (Win32PlatformUsb.cpp).
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override;
    Result<std::uint32_t> usbPrinterStatus(const std::string& portName) override;
    WinError setPrinterPort(const std::string& name, const std::string& port) override;
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override;
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override;
    Result<std::string> fullPathName(const std::string& path) override;

    // The Standard TCP/IP Port monitor's XcvData (Win32PlatformTcpIp.cpp).
    WinError addTcpIpPort(const TcpIpPortConfig& port) override;
    WinError deleteTcpIpPort(const std::string& portName) override;
    Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) override;

    // The default printer's announcement and the machine's architecture.
    WinError broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) override;
    std::optional<std::uint16_t> nativeMachine() override;
};

}  // namespace kelp::win32
