// A Platform that hands every operation on, once, to another one. The
// decorators and wrappers of the machine (the run's log, a test's watcher,
// a benchmark's clock) derive from it and override only what they change.
//
// KELP_PLATFORM_OPERATIONS names every operation of Platform with its
// signature, whether it answers an error (a WinError or a Result, which a
// fault can then be made of), and whether the run's log records it (every
// step that can fail, except the log file's own). The forwarding below and
// the logging decorator's declarations are made from it, so a new operation
// goes into Platform, this list, the Win32 implementation and the fake, and,
// when it is logged, the decorator's definition, which the linker then asks
// for. An operation missing from the list leaves ForwardingPlatform abstract
// and its users fail to compile.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/Platform.h"

namespace kelp {

#define KELP_PLATFORM_OPERATIONS(X) \
    X(enumPorts, true, true, Result<std::vector<PortRecord>>, (), ()) \
    X(enumMonitors, true, true, Result<std::vector<MonitorRecord>>, (), ()) \
    X(addPort, true, true, WinError, (WindowHandle owner, const std::string& monitorName), (owner, monitorName)) \
    X(configurePort, true, true, WinError, (WindowHandle owner, const std::string& portName), (owner, portName)) \
    X(enumPrinters, true, true, Result<std::vector<PrinterRecord>>, (), ()) \
    X(printerDriverDirectory, true, true, Result<std::string>, (const std::string& environment), (environment)) \
    X(addPrinterDriver, true, true, WinError, (const DriverInfo3& driver), (driver)) \
    X(addPrinter, true, true, Result<PrinterHandle>, (const PrinterInfo2& printer), (printer)) \
    X(closePrinter, true, true, WinError, (PrinterHandle printer), (printer)) \
    X(regOpenKey, true, true, Result<RegKey>, (RegRoot root, const std::string& path, RegAccess access), (root, path, access)) \
    X(regCreateKey, true, true, Result<RegKey>, (RegRoot root, const std::string& path), (root, path)) \
    X(regSetString, true, true, WinError, (RegKey key, const std::string& name, const std::string& value), (key, name, value)) \
    X(regSetDword, true, true, WinError, (RegKey key, const std::string& name, std::uint32_t value), (key, name, value)) \
    X(regQueryValue, true, true, Result<RegValue>, (RegKey key, const std::string& name, std::size_t maxBytes), (key, name, maxBytes)) \
    X(regEnumValue, true, true, Result<RegEnumEntry>, (RegKey key, std::uint32_t index, std::size_t maxNameBytes, std::size_t maxDataBytes), (key, index, maxNameBytes, maxDataBytes)) \
    X(regCloseKey, true, true, WinError, (RegKey key), (key)) \
    X(shellOpen, true, true, WinError, (const std::string& path), (path)) \
    X(versionQuery, true, true, Result<OsVersionInfo>, (VersionRecordForm form), (form)) \
    X(activeCodePage, false, false, std::uint32_t, (), ()) \
    X(currentDirectory, true, true, Result<std::string>, (std::size_t capacity), (capacity)) \
    X(isWow64Process, false, false, std::optional<int>, (), ()) \
    X(copyFile, true, true, WinError, (const std::string& source, const std::string& destination, bool failIfExists), (source, destination, failIfExists)) \
    X(sleep, false, false, void, (std::uint32_t milliseconds), (milliseconds)) \
    X(debugOutput, false, false, void, (const std::string& text), (text)) \
    X(errorText, false, false, std::string, (WinError error, Language language), (error, language)) \
    X(deletePrinter, true, true, WinError, (const std::string& name), (name)) \
    X(deletePrinterDriver, true, true, WinError, (const std::string& environment, const std::string& name, bool deleteUnusedFiles), (environment, name, deleteUnusedFiles)) \
    X(enumPrinterDrivers, true, true, Result<std::vector<DriverInfo3>>, (const std::string& environment), (environment)) \
    X(deleteFile, true, true, WinError, (const std::string& path), (path)) \
    X(openPrinter, true, true, Result<PrinterHandle>, (const std::string& name), (name)) \
    X(startRawDocument, true, true, Result<std::uint32_t>, (PrinterHandle printer, const std::string& documentName), (printer, documentName)) \
    X(writePrinter, true, true, WinError, (PrinterHandle printer, const std::string& bytes), (printer, bytes)) \
    X(endRawDocument, true, true, WinError, (PrinterHandle printer), (printer)) \
    X(tempDirectory, false, false, std::string, (), ()) \
    X(moduleDirectory, false, false, std::string, (), ()) \
    X(localTime, false, false, std::string, (), ()) \
    X(userName, false, false, std::string, (), ()) \
    X(acquireNamedMutex, true, true, Result<std::uintptr_t>, (const std::string& name), (name)) \
    X(releaseNamedMutex, false, false, void, (std::uintptr_t mutex), (mutex)) \
    X(consoleWrite, false, false, bool, (const std::string& text), (text)) \
    X(messageBoxWithoutWindow, false, false, void, (const std::string& title, const std::string& text), (title, text)) \
    X(openLogFile, true, false, Result<LogFile>, (const std::string& path, bool createNew), (path, createNew)) \
    X(writeLogFile, true, false, WinError, (std::uintptr_t file, const std::string& bytes), (file, bytes)) \
    X(closeLogFile, false, false, void, (std::uintptr_t file), (file)) \
    X(discardLogFile, true, false, WinError, (std::uintptr_t file), (file)) \
    X(runsElevated, false, false, bool, (), ()) \
    X(processId, false, false, std::uint32_t, (), ()) \
    X(acquirePrivateMutex, true, true, Result<PrivateMutex>, (const std::string& namespaceName, const std::string& mutexName), (namespaceName, mutexName)) \
    X(windowStationVisible, false, false, bool, (), ()) \
    X(sessionId, false, false, std::optional<std::uint32_t>, (), ()) \
    X(randomNumber, false, false, std::uint64_t, (), ()) \
    X(usbPrinterInterfaces, true, true, Result<std::vector<UsbPrinterInterface>>, (), ()) \
    X(usbPrinterStatus, true, true, Result<std::uint32_t>, (const std::string& portName), (portName)) \
    X(setPrinterPort, true, true, WinError, (const std::string& name, const std::string& port), (name, port)) \
    X(getJob, true, true, Result<JobRecord>, (PrinterHandle printer, std::uint32_t jobId), (printer, jobId)) \
    X(deleteJob, true, true, WinError, (PrinterHandle printer, std::uint32_t jobId), (printer, jobId)) \
    X(fullPathName, true, true, Result<std::string>, (const std::string& path), (path)) \
    X(addTcpIpPort, true, true, WinError, (const TcpIpPortConfig& port), (port)) \
    X(deleteTcpIpPort, true, true, WinError, (const std::string& portName), (portName)) \
    X(tcpIpPortConfig, true, true, Result<TcpIpPortConfig>, (const std::string& portName), (portName)) \
    X(broadcastSettingChange, true, true, WinError, (const std::string& section, std::uint32_t timeoutMs), (section, timeoutMs)) \
    X(nativeMachine, false, false, std::optional<std::uint16_t>, (), ())

enum class PlatformOp {
#define KELP_PLATFORM_OP_ENUM(name, answersError, logged, Answer, Parameters, Arguments) name,
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_OP_ENUM)
#undef KELP_PLATFORM_OP_ENUM
};

struct PlatformOpInfo {
    std::string_view name;  // the Platform function's name
    bool answersError;
};

inline constexpr PlatformOpInfo kPlatformOps[] = {
#define KELP_PLATFORM_OP_INFO(name, answersError, logged, Answer, Parameters, Arguments) {#name, answersError},
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_OP_INFO)
#undef KELP_PLATFORM_OP_INFO
};

inline constexpr const PlatformOpInfo& InfoOf(PlatformOp op) { return kPlatformOps[static_cast<std::size_t>(op)]; }

class ForwardingPlatform : public Platform {
public:
    explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

#define KELP_PLATFORM_FORWARD(name, answersError, logged, Answer, Parameters, Arguments) \
    Answer name Parameters override {                                                  \
        called(PlatformOp::name);                                                      \
        return inner_.name Arguments;                                                  \
    }
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_FORWARD)
#undef KELP_PLATFORM_FORWARD

protected:
    Platform& inner() const { return inner_; }
    // Told of each operation this class hands on, before it does.
    virtual void called(PlatformOp) {}

private:
    Platform& inner_;
};

// The declaration of a logged operation's override, nothing for the others
// (the logging decorator's declarations).
#define KELP_WHEN_true(...) __VA_ARGS__
#define KELP_WHEN_false(...)
#define KELP_PLATFORM_LOGGED_OVERRIDE(name, answersError, logged, Answer, Parameters, Arguments) \
    KELP_WHEN_##logged(Answer name Parameters override;)

}  // namespace kelp
