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
    std::string errorText(WinError error, int englishFlag) override;
};

}  // namespace kelp::win32
