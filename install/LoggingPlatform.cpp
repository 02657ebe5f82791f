#include "install/LoggingPlatform.h"

#include "install/LogText.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

const char* RootName(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser: return "HKCU";
        case RegRoot::LocalMachine: return "HKLM";
        case RegRoot::CurrentConfig: return "HKCC";
    }
    return "?";
}

constexpr const char* kMonitor = " (monitor \"Standard TCP/IP Port\")";

std::string Aim(const TcpIpPortConfig& port) {
    std::string text = OutsideText(port.host) + ":" + std::to_string(static_cast<int>(port.tcpPort));
    text += port.raw ? " RAW" : " LPR";
    text += port.snmp ? " SNMP on" : " SNMP off";
    return text;
}

}  // namespace

LoggingPlatform::LoggingPlatform(Platform& inner, RunLog& log, Language language) : ForwardingPlatform(inner), log_(log) {
    log_.setLanguage(language);
}

WinError LoggingPlatform::step(const std::string& what, WinError error, bool change) {
    if (!change && error == winerr::Success) return error;
    std::string text = "step " + what + ": " + ErrorNumber(error, log_.language());
    if (error != winerr::Success) {
        const std::string reason = inner().errorText(error, log_.language());
        if (!reason.empty()) text += " " + OutsideText(reason);
    }
    log_.line(text);
    return error;
}

std::string LoggingPlatform::keyName(RegKey key) const {
    const auto found = keys_.find(key);
    return found == keys_.end() ? "key #" + std::to_string(key) : found->second;
}

Result<std::vector<PortRecord>> LoggingPlatform::enumPorts() {
    auto result = inner().enumPorts();
    step("EnumPorts", result.error, false);
    return result;
}

Result<std::vector<MonitorRecord>> LoggingPlatform::enumMonitors() {
    auto result = inner().enumMonitors();
    step("EnumMonitors", result.error, false);
    return result;
}

WinError LoggingPlatform::addPort(WindowHandle owner, const std::string& monitorName) {
    return step("AddPort " + QuotedText(monitorName), inner().addPort(owner, monitorName));
}

WinError LoggingPlatform::configurePort(WindowHandle owner, const std::string& portName) {
    return step("ConfigurePort " + QuotedText(portName), inner().configurePort(owner, portName));
}

Result<std::vector<PrinterRecord>> LoggingPlatform::enumPrinters() {
    auto result = inner().enumPrinters();
    step("EnumPrinters", result.error, false);
    return result;
}

Result<std::string> LoggingPlatform::printerDriverDirectory(const std::string& environment) {
    auto result = inner().printerDriverDirectory(environment);
    step("GetPrinterDriverDirectory " + QuotedText(environment) + (result.ok() ? " = " + QuotedText(result.value) : ""),
         result.error);
    return result;
}

WinError LoggingPlatform::addPrinterDriver(const DriverInfo3& driver) {
    return step("AddPrinterDriver " + QuotedText(driver.name) + " " + QuotedText(driver.environment) + " data file " +
                    QuotedText(driver.dataFile),
                inner().addPrinterDriver(driver));
}

Result<PrinterHandle> LoggingPlatform::addPrinter(const PrinterInfo2& printer) {
    auto result = inner().addPrinter(printer);
    step("AddPrinter " + QuotedText(printer.printerName) + " on port " + QuotedText(printer.portName) + " driver " +
             QuotedText(printer.driverName),
         result.error);
    if (result.ok()) printers_[result.value] = printer.printerName;
    return result;
}

WinError LoggingPlatform::closePrinter(PrinterHandle printer) {
    const auto found = printers_.find(printer);
    const std::string name = found == printers_.end() ? "#" + std::to_string(printer) : found->second;
    const WinError error = inner().closePrinter(printer);
    if (found != printers_.end()) printers_.erase(found);
    return step("ClosePrinter " + QuotedText(name), error);
}

Result<RegKey> LoggingPlatform::regOpenKey(RegRoot root, const std::string& path, RegAccess access) {
    auto result = inner().regOpenKey(root, path, access);
    const std::string name = std::string(RootName(root)) + "\\" + path;
    step("RegOpenKeyEx " + QuotedText(name), result.error, false);
    if (result.ok()) keys_[result.value] = name;
    return result;
}

Result<RegKey> LoggingPlatform::regCreateKey(RegRoot root, const std::string& path) {
    auto result = inner().regCreateKey(root, path);
    const std::string name = std::string(RootName(root)) + "\\" + path;
    step("RegCreateKeyEx " + QuotedText(name), result.error);
    if (result.ok()) keys_[result.value] = name;
    return result;
}

WinError LoggingPlatform::regSetString(RegKey key, const std::string& name, const std::string& value) {
    return step("RegSetValueEx " + QuotedText(keyName(key)) + " " + QuotedText(name) + " = " + QuotedText(value),
                inner().regSetString(key, name, value));
}

WinError LoggingPlatform::regSetDword(RegKey key, const std::string& name, std::uint32_t value) {
    return step("RegSetValueEx " + QuotedText(keyName(key)) + " " + QuotedText(name) + " = " + std::to_string(value),
                inner().regSetDword(key, name, value));
}

Result<RegValue> LoggingPlatform::regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) {
    auto result = inner().regQueryValue(key, name, maxBytes);
    step("RegQueryValueEx " + QuotedText(keyName(key)) + " " + QuotedText(name), result.error, false);
    return result;
}

// The end of the values is how every scan ends: not worth a line.
Result<RegEnumEntry> LoggingPlatform::regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                                   std::size_t maxDataBytes) {
    auto result = inner().regEnumValue(key, index, maxNameBytes, maxDataBytes);
    if (result.error != winerr::NoMoreItems)
        step("RegEnumValue " + QuotedText(keyName(key)) + " " + std::to_string(index), result.error, false);
    return result;
}

WinError LoggingPlatform::regCloseKey(RegKey key) {
    const WinError error = inner().regCloseKey(key);
    step("RegCloseKey " + QuotedText(keyName(key)), error, false);
    keys_.erase(key);
    return error;
}

WinError LoggingPlatform::shellOpen(const std::string& path) {
    return step("ShellExecute open " + QuotedText(path), inner().shellOpen(path));
}

Result<OsVersionInfo> LoggingPlatform::versionQuery(VersionRecordForm form) {
    auto result = inner().versionQuery(form);
    step("GetVersionEx", result.error, false);
    return result;
}

Result<std::string> LoggingPlatform::currentDirectory(std::size_t capacity) {
    auto result = inner().currentDirectory(capacity);
    step("GetCurrentDirectory", result.error, false);
    return result;
}

WinError LoggingPlatform::copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    return step("CopyFile " + QuotedText(source) + " to " + QuotedText(destination),
                inner().copyFile(source, destination, failIfExists));
}

WinError LoggingPlatform::deletePrinter(const std::string& name) {
    return step("DeletePrinter " + QuotedText(name), inner().deletePrinter(name));
}

WinError LoggingPlatform::deletePrinterDriver(const std::string& environment, const std::string& name,
                                              bool deleteUnusedFiles) {
    return step(std::string(deleteUnusedFiles ? "DeletePrinterDriverEx (unused files too) " : "DeletePrinterDriver ") +
                    QuotedText(name) + " " + QuotedText(environment),
                inner().deletePrinterDriver(environment, name, deleteUnusedFiles));
}

Result<std::vector<DriverInfo3>> LoggingPlatform::enumPrinterDrivers(const std::string& environment) {
    auto result = inner().enumPrinterDrivers(environment);
    step("EnumPrinterDrivers " + QuotedText(environment), result.error, false);
    return result;
}

WinError LoggingPlatform::deleteFile(const std::string& path) {
    return step("DeleteFile " + QuotedText(path), inner().deleteFile(path));
}

Result<PrinterHandle> LoggingPlatform::openPrinter(const std::string& name) {
    auto result = inner().openPrinter(name);
    step("OpenPrinter " + QuotedText(name), result.error);
    if (result.ok()) printers_[result.value] = name;
    return result;
}

Result<std::uint32_t> LoggingPlatform::startRawDocument(PrinterHandle printer, const std::string& documentName) {
    const auto found = printers_.find(printer);
    auto result = inner().startRawDocument(printer, documentName);
    step("StartDocPrinter RAW " + QuotedText(documentName) + " on " +
             QuotedText(found == printers_.end() ? "#" + std::to_string(printer) : found->second) +
             (result.ok() ? " job " + std::to_string(result.value) : ""),
         result.error);
    return result;
}

WinError LoggingPlatform::writePrinter(PrinterHandle printer, const std::string& bytes) {
    return step("WritePrinter " + std::to_string(bytes.size()) + " bytes", inner().writePrinter(printer, bytes));
}

WinError LoggingPlatform::endRawDocument(PrinterHandle printer) {
    return step("EndDocPrinter", inner().endRawDocument(printer));
}

Result<std::uintptr_t> LoggingPlatform::acquireNamedMutex(const std::string& name) {
    auto result = inner().acquireNamedMutex(name);
    step("take mutex " + QuotedText(name), result.error);
    return result;
}

Result<PrivateMutex> LoggingPlatform::acquirePrivateMutex(const std::string& namespaceName,
                                                          const std::string& mutexName) {
    auto result = inner().acquirePrivateMutex(namespaceName, mutexName);
    step("take mutex " + QuotedText(namespaceName + "\\" + mutexName) + " (private namespace)", result.error);
    return result;
}
Result<std::vector<UsbPrinterInterface>> LoggingPlatform::usbPrinterInterfaces() {
    auto result = inner().usbPrinterInterfaces();
    step("list USB printer interfaces (SetupAPI)", result.error, false);
    return result;
}

Result<std::uint32_t> LoggingPlatform::usbPrinterStatus(const std::string& portName) {
    auto result = inner().usbPrinterStatus(portName);
    step("ask the USB printer on " + portName + " for its status (IOCTL_USBPRINT_GET_LPT_STATUS)", result.error, false);
    return result;
}

WinError LoggingPlatform::setPrinterPort(const std::string& name, const std::string& port) {
    return step("SetPrinter " + QuotedText(name) + " port " + QuotedText(port), inner().setPrinterPort(name, port));
}

// Polled while a job is followed: only a failure is worth a line.
Result<JobRecord> LoggingPlatform::getJob(PrinterHandle printer, std::uint32_t jobId) {
    auto result = inner().getJob(printer, jobId);
    step("GetJob " + std::to_string(jobId), result.error, false);
    return result;
}

WinError LoggingPlatform::deleteJob(PrinterHandle printer, std::uint32_t jobId) {
    return step("SetJob " + std::to_string(jobId) + " delete", inner().deleteJob(printer, jobId));
}

Result<std::string> LoggingPlatform::fullPathName(const std::string& path) {
    auto result = inner().fullPathName(path);
    step("GetFullPathName " + QuotedText(path), result.error, false);
    return result;
}

// ---- The Standard TCP/IP Port monitor's XcvData calls -----------------------

WinError LoggingPlatform::addTcpIpPort(const TcpIpPortConfig& port) {
    std::string what = "XcvData AddPort " + QuotedText(port.portName);
    what += " " + Aim(port);
    what += kMonitor;
    return step(what, inner().addTcpIpPort(port));
}

WinError LoggingPlatform::deleteTcpIpPort(const std::string& portName) {
    return step("XcvData DeletePort " + QuotedText(portName) + kMonitor, inner().deleteTcpIpPort(portName));
}

Result<TcpIpPortConfig> LoggingPlatform::tcpIpPortConfig(const std::string& portName) {
    auto result = inner().tcpIpPortConfig(portName);
    step("XcvData GetConfigInfo " + QuotedText(portName), result.error, false);
    return result;
}

// ---- The default printer ---------------------------------------------------

// Programs are told, never waited for: a timeout is worth its line too.
WinError LoggingPlatform::broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) {
    return step("SendMessageTimeout WM_SETTINGCHANGE " + QuotedText(section) + " to all windows (at most " +
                    std::to_string(timeoutMs) + " ms each)",
                inner().broadcastSettingChange(section, timeoutMs));
}

}  // namespace kelp
