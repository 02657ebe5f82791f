// The logging decorator: stands in front of the real Platform, hands every
// call on and writes to the run's log each step that changes the machine,
// and each step that failed, with its Windows error code and the system's
// text for it.
#pragma once

#include <string>

#include "platform/ForwardingPlatform.h"
#include "platform/HandleMap.h"

namespace kelp {

class RunLog;

class LoggingPlatform final : public ForwardingPlatform {
public:
    // language chooses the language of the system's error texts; it is
    // the log's (RunLog::setLanguage changes it for both).
    LoggingPlatform(Platform& inner, RunLog& log, Language language);

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
    Result<std::string> currentDirectory(std::size_t capacity) override;
    WinError copyFile(const std::string& source, const std::string& destination, bool failIfExists) override;
    WinError deletePrinter(const std::string& name) override;
    WinError deletePrinterDriver(const std::string& environment, const std::string& name,
                                 bool deleteUnusedFiles) override;
    Result<std::vector<DriverInfo3>> enumPrinterDrivers(const std::string& environment) override;
    WinError deleteFile(const std::string& path) override;
    Result<PrinterHandle> openPrinter(const std::string& name) override;
    Result<std::uint32_t> startRawDocument(PrinterHandle printer, const std::string& documentName) override;
    WinError writePrinter(PrinterHandle printer, const std::string& bytes) override;
    WinError endRawDocument(PrinterHandle printer) override;
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override;
    Result<PrivateMutex> acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) override;
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override;
    WinError setPrinterPort(const std::string& name, const std::string& port) override;
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override;
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override;
    Result<std::string> fullPathName(const std::string& path) override;
    WinError addTcpIpPort(const TcpIpPortConfig& port) override;
    WinError deleteTcpIpPort(const std::string& portName) override;
    Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) override;

private:
    // "step <what>: <error>[ <text>]"; always for a change, only on failure
    // for a query.
    WinError step(const std::string& what, WinError error, bool change = true);
    std::string keyName(RegKey key) const;

    RunLog& log_;
    HandleMap<std::string> keys_;  // open keys: "HKLM\path"
    HandleMap<std::string> printers_;
};

}  // namespace kelp
