// Puts a model's driver on the machine and creates its printer: copies the
// driver files into the spooler's driver directory, registers driver and
// printer, and writes the default-printer and COM port values.
//
// Every step's answer is looked at. A step that fails is reported, and the
// steps that depend on it are not attempted, so nothing is registered that
// refers to files that are not there and no success is claimed for a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "install/RunLog.h"
#include "platform/Platform.h"

namespace kelp {

// The value sets of a 32-bit and a 64-bit installation.
struct ArchitectureProfile {
    const char* environment;   // the spooler environment
    const char* commonFolder;  // the folder of the six common files
};

inline constexpr ArchitectureProfile Profile32Bit{"Windows NT x86", "Printer Driver\\x86"};
inline constexpr ArchitectureProfile Profile64Bit{"Windows x64", "Printer Driver\\x64"};
// True when the wizard runs as a 32-bit process on 64-bit Windows; a system
// without IsWow64Process is taken to be 32-bit.
bool RunsUnderWow64(Platform& platform);
// The profile of this machine: 64-bit under WOW64, else 32-bit.
const ArchitectureProfile& ProfileForThisMachine(Platform& platform);

// The model files come from the x86 folder for both profiles.
inline constexpr const char* ModelFileFolder = "Printer Driver\\x86";

// Longest driver directory and longest path of the driver record, in characters.
constexpr std::size_t MaxDriverDirectoryLength = 254;
constexpr std::size_t MaxDriverPathLength = 259;
// Size of the dependent-file list, its closing empty text included.
constexpr std::size_t MaxDependentFilesBytes = 255;

constexpr const char* DefaultPrinterKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
// Under DefaultPrinterKey: 1 turns off Windows 10's and 11's "Let Windows
// manage my default printer" for the user (the printer used last would
// become the default otherwise).
constexpr const char* LegacyDefaultPrinterModeValue = "LegacyDefaultPrinterMode";
// How long a running program may take to hear that the default changed.
constexpr std::uint32_t SettingChangeTimeoutMs = 1000;
constexpr const char* PortSettingsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr std::uint32_t PauseAfterInstallMs = 500;

// What the printer settings page holds when the installation runs.
struct PrinterChoices {
    Language language = Language::Chinese;
    int modelRow = 0;
    bool defaultPrinter = false;
    int portIndex = 0;
    int baudIndex = 5;
    int dataBitsIndex = 3;
    int stopBitsIndex = 0;
    int parityIndex = 2;
    int flowControlIndex = 2;
};

enum class InstallStep {
    Choices,           // a page choice outside its table
    DriverDirectory,   // the spooler's driver directory
    CopyFile,          // one driver file
    AddPrinterDriver,  // registering the driver
    AddPrinter,        // creating the printer
    DefaultPrinter,    // the "Device" value
    PortSettings,      // the COM port's serial-line settings
    ForeignDriver,     // a printer of the model's name on another driver
    MovePrinter,       // moving an existing printer to the named port
    ReadBack,          // the printer read back after the installation
};

struct InstallFailure {
    InstallStep step;
    std::string subject;  // the file, key or name concerned
    WinError error;
    std::string errorText;  // the system's text for error, in the pass's language
    // A registry value that could not be written (its key opened).
    bool valueNotWritten = false;
};

struct InstallReport {
    std::vector<InstallFailure> failures;
    // The printer existed already: its driver was updated, its port left as
    // it was.
    bool printerExisted = false;
    std::string existingPort;
    // The existing printer was moved from existingPort to movedTo.
    std::string movedTo;
    // Driver and printer are in place (created now or found), whatever
    // failed in the settings after them.
    bool printerInstalled = false;
    // The port the printer is on when printerInstalled.
    std::string port;
    bool succeeded() const { return failures.empty(); }
};

// The printer of that name the spooler knows, compared as Windows compares
// printer names (ignoring case); nothing when there is none or the spooler
// cannot list its printers.
std::optional<PrinterRecord> FindPrinter(Platform& platform, const std::string& name);

// The log's lines around a pass: the choices it was given, what came of it.
std::string DescribeInstallChoices(const ArchitectureProfile& profile, const PrinterChoices& choices,
                                   const std::string& port);
std::string DescribeInstallOutcome(const InstallReport& report);

class DriverInstaller {
public:
    using ProgressSink = std::function<void(int position)>;

    // progress moves the port page's bar.
    DriverInstaller(Platform& platform, ProgressSink progress);

    // The driver package's folder, which the copies' sources are relative
    // to; empty (the default) is the current directory.
    void setPackageRoot(std::string root) { packageRoot_ = std::move(root); }
    // Where the pass writes its choices before and its outcome after the
    // steps (which the logging platform writes); none by default.
    void setLog(RunLog* log) { log_ = log; }

    // One pass: staging, then registration. port is the printer's port.
    InstallReport InstallDriver(const ArchitectureProfile& profile, const PrinterChoices& choices,
                                const std::string& port);

    // "%s,%s,%s,%s,%s": baud, parity, data bits, stop bits, flow control.
    static std::optional<std::string> PortSettingsText(const PrinterChoices& choices);
    // Consecutive zero-terminated texts, closed by an empty text.
    static std::string DependentFiles(const std::string& modelLibrary);

private:
    struct Pass;
    InstallReport runPass(const ArchitectureProfile& profile, const PrinterChoices& choices, const std::string& port);
    bool stageFiles(Pass& pass);
    bool registerDriver(Pass& pass);
    bool createPrinter(Pass& pass);
    bool adoptExisting(Pass& pass, const PrinterRecord& existing);
    bool moveExistingPrinter(Pass& pass, const PrinterRecord& existing);
    bool isModelsPrinter(Pass& pass, const PrinterRecord& printer, const std::string* port);
    bool readBack(Pass& pass);
    void followDefaultPrinter(Pass& pass);
    void writeDefaultPrinter(Pass& pass);
    void keepDefaultPrinter();
    void writePortSettings(Pass& pass);
    bool writeString(Pass& pass, InstallStep step, RegRoot root, const char* key, const std::string& name,
                     const std::string& value);
    void fail(Pass& pass, InstallStep step, std::string subject, WinError error);

    Platform& platform_;
    ProgressSink progress_;
    std::string packageRoot_;
    RunLog* log_ = nullptr;
};

}  // namespace kelp
