// A Platform that hands every operation on, once, to another one. The
// decorators and wrappers of the machine (the run's log, a test's watcher,
// a benchmark's clock) derive from it and override only what they change.
//
// KELP_PLATFORM_OPERATIONS names every operation of Platform, with whether
// it answers an error (a WinError or a Result), which a fault can then be
// made of. A new operation goes into Platform, this list and the forwarding
// below, the Win32 implementation and the fake; nothing else has to change.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/Platform.h"

namespace kelp {

#define KELP_PLATFORM_OPERATIONS(X) \
    X(enumPorts, true) \
    X(enumMonitors, true) \
    X(addPort, true) \
    X(configurePort, true) \
    X(enumPrinters, true) \
    X(printerDriverDirectory, true) \
    X(addPrinterDriver, true) \
    X(addPrinter, true) \
    X(closePrinter, true) \
    X(regOpenKey, true) \
    X(regCreateKey, true) \
    X(regSetString, true) \
    X(regSetDword, true) \
    X(regQueryValue, true) \
    X(regEnumValue, true) \
    X(regCloseKey, true) \
    X(shellOpen, true) \
    X(versionQuery, true) \
    X(activeCodePage, false) \
    X(currentDirectory, true) \
    X(isWow64Process, false) \
    X(copyFile, true) \
    X(sleep, false) \
    X(debugOutput, false) \
    X(errorText, false) \
    X(deletePrinter, true) \
    X(deletePrinterDriver, true) \
    X(enumPrinterDrivers, true) \
    X(deleteFile, true) \
    X(openPrinter, true) \
    X(startRawDocument, true) \
    X(writePrinter, true) \
    X(endRawDocument, true) \
    X(tempDirectory, false) \
    X(moduleDirectory, false) \
    X(localTime, false) \
    X(userName, false) \
    X(acquireNamedMutex, true) \
    X(releaseNamedMutex, false) \
    X(consoleWrite, false) \
    X(messageBoxWithoutWindow, false) \
    X(openLogFile, true) \
    X(writeLogFile, true) \
    X(closeLogFile, false) \
    X(discardLogFile, true) \
    X(runsElevated, false) \
    X(processId, false) \
    X(acquirePrivateMutex, true) \
    X(windowStationVisible, false) \
    X(sessionId, false) \
    X(randomNumber, false) \
    X(usbPrinterInterfaces, true) \
    X(setPrinterPort, true) \
    X(getJob, true) \
    X(deleteJob, true) \
    X(fullPathName, true) \
    X(addTcpIpPort, true) \
    X(deleteTcpIpPort, true) \
    X(tcpIpPortConfig, true)

enum class PlatformOp {
#define KELP_PLATFORM_OP_ENUM(name, answersError) name,
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_OP_ENUM)
#undef KELP_PLATFORM_OP_ENUM
};

struct PlatformOpInfo {
    std::string_view name;  // the Platform function's name
    bool answersError;
};

inline constexpr PlatformOpInfo kPlatformOps[] = {
#define KELP_PLATFORM_OP_INFO(name, answersError) {#name, answersError},
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_OP_INFO)
#undef KELP_PLATFORM_OP_INFO
};

inline constexpr const PlatformOpInfo& InfoOf(PlatformOp op) { return kPlatformOps[static_cast<std::size_t>(op)]; }

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

    Result<std::vector<PortRecord>> enumPorts() override { called(PlatformOp::enumPorts); return inner_.enumPorts(); }
    Result<std::vector<MonitorRecord>> enumMonitors() override {
        called(PlatformOp::enumMonitors);
        return inner_.enumMonitors();
    }
    WinError addPort(WindowHandle owner, const std::string& monitorName) override {
        called(PlatformOp::addPort);
        return inner_.addPort(owner, monitorName);
    }
    WinError configurePort(WindowHandle owner, const std::string& portName) override {
        called(PlatformOp::configurePort);
        return inner_.configurePort(owner, portName);
    }
    Result<std::vector<PrinterRecord>> enumPrinters() override {
        called(PlatformOp::enumPrinters);
        return inner_.enumPrinters();
    }
    Result<std::string> printerDriverDirectory(const std::string& environment) override {
        called(PlatformOp::printerDriverDirectory);
        return inner_.printerDriverDirectory(environment);
    }
    WinError addPrinterDriver(const DriverInfo3& driver) override {
        called(PlatformOp::addPrinterDriver);
        return inner_.addPrinterDriver(driver);
    }
    Result<PrinterHandle> addPrinter(const PrinterInfo2& printer) override {
        called(PlatformOp::addPrinter);
        return inner_.addPrinter(printer);
    }
    WinError closePrinter(PrinterHandle printer) override {
        called(PlatformOp::closePrinter);
        return inner_.closePrinter(printer);
    }
    Result<RegKey> regOpenKey(RegRoot root, const std::string& path, RegAccess access) override {
        called(PlatformOp::regOpenKey);
        return inner_.regOpenKey(root, path, access);
    }
    Result<RegKey> regCreateKey(RegRoot root, const std::string& path) override {
        called(PlatformOp::regCreateKey);
        return inner_.regCreateKey(root, path);
    }
    WinError regSetString(RegKey key, const std::string& name, const std::string& value) override {
        called(PlatformOp::regSetString);
        return inner_.regSetString(key, name, value);
    }
    WinError regSetDword(RegKey key, const std::string& name, std::uint32_t value) override {
        called(PlatformOp::regSetDword);
        return inner_.regSetDword(key, name, value);
    }
    Result<RegValue> regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) override {
        called(PlatformOp::regQueryValue);
        return inner_.regQueryValue(key, name, maxBytes);
    }
    Result<RegEnumEntry> regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes, std::size_t maxDataBytes) override {
        called(PlatformOp::regEnumValue);
        return inner_.regEnumValue(key, index, maxNameBytes, maxDataBytes);
    }
    WinError regCloseKey(RegKey key) override { called(PlatformOp::regCloseKey); return inner_.regCloseKey(key); }
    WinError shellOpen(const std::string& path) override {
        called(PlatformOp::shellOpen);
        return inner_.shellOpen(path);
    }
    Result<OsVersionInfo> versionQuery(VersionRecordForm form) override {
        called(PlatformOp::versionQuery);
        return inner_.versionQuery(form);
    }
    std::uint32_t activeCodePage() override { called(PlatformOp::activeCodePage); return inner_.activeCodePage(); }
    Result<std::string> currentDirectory(std::size_t capacity) override {
        called(PlatformOp::currentDirectory);
        return inner_.currentDirectory(capacity);
    }
    std::optional<int> isWow64Process() override { called(PlatformOp::isWow64Process); return inner_.isWow64Process(); }
    WinError copyFile(const std::string& source, const std::string& destination, bool failIfExists) override {
        called(PlatformOp::copyFile);
        return inner_.copyFile(source, destination, failIfExists);
    }
    void sleep(std::uint32_t milliseconds) override { called(PlatformOp::sleep); return inner_.sleep(milliseconds); }
    void debugOutput(const std::string& text) override {
        called(PlatformOp::debugOutput);
        return inner_.debugOutput(text);
    }
    std::string errorText(WinError error, Language language) override {
        called(PlatformOp::errorText);
        return inner_.errorText(error, language);
    }
    WinError deletePrinter(const std::string& name) override {
        called(PlatformOp::deletePrinter);
        return inner_.deletePrinter(name);
    }
    WinError deletePrinterDriver(const std::string& environment, const std::string& name, bool deleteUnusedFiles) override {
        called(PlatformOp::deletePrinterDriver);
        return inner_.deletePrinterDriver(environment, name, deleteUnusedFiles);
    }
    Result<std::vector<DriverInfo3>> enumPrinterDrivers(const std::string& environment) override {
        called(PlatformOp::enumPrinterDrivers);
        return inner_.enumPrinterDrivers(environment);
    }
    WinError deleteFile(const std::string& path) override {
        called(PlatformOp::deleteFile);
        return inner_.deleteFile(path);
    }
    Result<PrinterHandle> openPrinter(const std::string& name) override {
        called(PlatformOp::openPrinter);
        return inner_.openPrinter(name);
    }
    Result<std::uint32_t> startRawDocument(PrinterHandle printer, const std::string& documentName) override {
        called(PlatformOp::startRawDocument);
        return inner_.startRawDocument(printer, documentName);
    }
    WinError writePrinter(PrinterHandle printer, const std::string& bytes) override {
        called(PlatformOp::writePrinter);
        return inner_.writePrinter(printer, bytes);
    }
    WinError endRawDocument(PrinterHandle printer) override {
        called(PlatformOp::endRawDocument);
        return inner_.endRawDocument(printer);
    }
    std::string tempDirectory() override { called(PlatformOp::tempDirectory); return inner_.tempDirectory(); }
    std::string moduleDirectory() override { called(PlatformOp::moduleDirectory); return inner_.moduleDirectory(); }
    std::string localTime() override { called(PlatformOp::localTime); return inner_.localTime(); }
    std::string userName() override { called(PlatformOp::userName); return inner_.userName(); }
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override {
        called(PlatformOp::acquireNamedMutex);
        return inner_.acquireNamedMutex(name);
    }
    void releaseNamedMutex(std::uintptr_t mutex) override {
        called(PlatformOp::releaseNamedMutex);
        return inner_.releaseNamedMutex(mutex);
    }
    bool consoleWrite(const std::string& text) override {
        called(PlatformOp::consoleWrite);
        return inner_.consoleWrite(text);
    }
    void messageBoxWithoutWindow(const std::string& title, const std::string& text) override {
        called(PlatformOp::messageBoxWithoutWindow);
        return inner_.messageBoxWithoutWindow(title, text);
    }
    Result<LogFile> openLogFile(const std::string& path, bool createNew) override {
        called(PlatformOp::openLogFile);
        return inner_.openLogFile(path, createNew);
    }
    WinError writeLogFile(std::uintptr_t file, const std::string& bytes) override {
        called(PlatformOp::writeLogFile);
        return inner_.writeLogFile(file, bytes);
    }
    void closeLogFile(std::uintptr_t file) override {
        called(PlatformOp::closeLogFile);
        return inner_.closeLogFile(file);
    }
    WinError discardLogFile(std::uintptr_t file) override {
        called(PlatformOp::discardLogFile);
        return inner_.discardLogFile(file);
    }
    bool runsElevated() override { called(PlatformOp::runsElevated); return inner_.runsElevated(); }
    std::uint32_t processId() override { called(PlatformOp::processId); return inner_.processId(); }
    Result<PrivateMutex> acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) override {
        called(PlatformOp::acquirePrivateMutex);
        return inner_.acquirePrivateMutex(namespaceName, mutexName);
    }
    bool windowStationVisible() override {
        called(PlatformOp::windowStationVisible);
        return inner_.windowStationVisible();
    }
    std::optional<std::uint32_t> sessionId() override { called(PlatformOp::sessionId); return inner_.sessionId(); }
    std::uint64_t randomNumber() override { called(PlatformOp::randomNumber); return inner_.randomNumber(); }
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override {
        called(PlatformOp::usbPrinterInterfaces);
        return inner_.usbPrinterInterfaces();
    }
    WinError setPrinterPort(const std::string& name, const std::string& port) override {
        called(PlatformOp::setPrinterPort);
        return inner_.setPrinterPort(name, port);
    }
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override {
        called(PlatformOp::getJob);
        return inner_.getJob(printer, jobId);
    }
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override {
        called(PlatformOp::deleteJob);
        return inner_.deleteJob(printer, jobId);
    }
    Result<std::string> fullPathName(const std::string& path) override {
        called(PlatformOp::fullPathName);
        return inner_.fullPathName(path);
    }
    WinError addTcpIpPort(const TcpIpPortConfig& port) override {
        called(PlatformOp::addTcpIpPort);
        return inner_.addTcpIpPort(port);
    }
    WinError deleteTcpIpPort(const std::string& portName) override {
        called(PlatformOp::deleteTcpIpPort);
        return inner_.deleteTcpIpPort(portName);
    }
    Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) override {
        called(PlatformOp::tcpIpPortConfig);
        return inner_.tcpIpPortConfig(portName);
    }

protected:
    Platform& inner() const { return inner_; }
    // Told of each operation this class hands on, before it does.
    virtual void called(PlatformOp) {}

private:
    Platform& inner_;
};

}  // namespace kelp
