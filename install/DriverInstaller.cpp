#include "install/DriverInstaller.h"

#include <algorithm>
#include <span>

#include "install/LogText.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"
#include "install/SerialValueTables.h"
#include "platform/TextLength.h"

namespace kelp {

namespace {

struct CopyStep {
    bool modelFile;        // from the model folder, else from the profile's common folder
    const char* fileName;  // null for the model's library / description file
    bool library;          // which model file
    int progressAfter;     // 0: unchanged
};

// The order of the copies and the progress after each.
constexpr CopyStep kCopySteps[] = {
    {true, nullptr, true, 10},       {true, nullptr, false, 20},     {false, "uniDRVui.DLL", false, 30},
    {false, "uniDRV.DLL", false, 0}, {false, "UNIDRV.HLP", false, 40}, {false, "UNIRES.DLL", false, 0},
    {false, "TTFSUB.GPD", false, 50}, {false, "STDNAMES.GPD", false, 0},
};

const char* ValueAt(std::span<const SerialRow> rows, int index) {
    if (index < 0 || index >= static_cast<int>(rows.size())) return nullptr;
    return rows[static_cast<std::size_t>(index)].valueText;
}

}  // namespace

bool RunsUnderWow64(Platform& platform) {
    const auto answer = platform.isWow64Process();
    return answer.has_value() && *answer == 1;
}

const ArchitectureProfile& ProfileForThisMachine(Platform& platform) {
    return RunsUnderWow64(platform) ? Profile64Bit : Profile32Bit;
}

std::optional<PrinterRecord> FindPrinter(Platform& platform, const std::string& name) {
    const auto printers = platform.enumPrinters();
    if (!printers.ok()) return std::nullopt;
    for (const auto& printer : printers.value) {
        if (SameName(printer.name, name)) return printer;
    }
    return std::nullopt;
}

struct DriverInstaller::Pass {
    Pass(const ArchitectureProfile& p, const PrinterChoices& c, const std::string& portName)
        : profile(p), choices(c), port(portName) {}
    const ArchitectureProfile& profile;
    const PrinterChoices& choices;
    const std::string& port;
    const ModelRow* model = nullptr;
    ModelFiles files;
    std::string directory;
    PrinterHandle printer = 0;
    std::string printerPort;  // the port the printer is on
    InstallReport report;
};

DriverInstaller::DriverInstaller(Platform& platform, ProgressSink progress)
    : platform_(platform), progress_(std::move(progress)) {}

InstallReport DriverInstaller::InstallDriver(const ArchitectureProfile& profile, const PrinterChoices& choices,
                                             const std::string& port) {
    if (log_) log_->line(DescribeInstallChoices(profile, choices, port));
    InstallReport report = runPass(profile, choices, port);
    if (log_) log_->line(DescribeInstallOutcome(report));
    return report;
}

std::string DescribeInstallChoices(const ArchitectureProfile& profile, const PrinterChoices& choices,
                                   const std::string& port) {
    const ModelRow* model = ModelCatalogue::row(choices.modelRow);
    std::string text = "install ";
    text += model ? model->displayName : "model " + std::to_string(choices.modelRow);
    text += choices.language == Language::English ? ", English edition" : ", Chinese edition";
    text += ", port " + (port.empty() ? std::string("(none)") : OutsideText(port));
    text += choices.defaultPrinter ? ", default printer" : ", not the default printer";
    text += ", ";
    text += profile.environment;
    return text;
}

std::string DescribeInstallOutcome(const InstallReport& report) {
    std::string text = "outcome: ";
    if (report.succeeded())
        text += !report.printerExisted    ? "installed"
                : report.movedTo.empty() ? "installed; the printer existed, on " + OutsideText(report.existingPort)
                                         : "installed; the printer existed, moved from " + OutsideText(report.existingPort) +
                                               " to " + OutsideText(report.movedTo);
    else
        text += std::string(report.printerInstalled ? "printer installed, " : "failed, ") +
                std::to_string(report.failures.size()) + (report.failures.size() == 1 ? " step failed" : " steps failed");
    return text;
}

InstallReport DriverInstaller::runPass(const ArchitectureProfile& profile, const PrinterChoices& choices,
                                       const std::string& port) {
    Pass pass(profile, choices, port);
    pass.model = ModelCatalogue::row(choices.modelRow);
    if (!pass.model) {
        fail(pass, InstallStep::Choices, "model " + std::to_string(choices.modelRow), winerr::InvalidParameter);
        return pass.report;
    }
    if (port.empty()) {
        fail(pass, InstallStep::Choices, "port", winerr::InvalidParameter);
        return pass.report;
    }
    pass.files = ModelCatalogue::filesFor(*pass.model, choices.language);
    pass.printerPort = port;

    pass.report.printerInstalled = stageFiles(pass) && registerDriver(pass) && createPrinter(pass) && readBack(pass);
    if (pass.report.printerInstalled) {
        pass.report.port = pass.printerPort;
        followDefaultPrinter(pass);
        writeDefaultPrinter(pass);
        progress_(90);
    }
    // The serial-line settings belong to the port, not to the driver or the
    // printer: they are written whatever happened before.
    writePortSettings(pass);
    progress_(95);
    // Closing the handle is no setting the user asked for: a failure is the
    // log's (the logging platform writes every ClosePrinter), not the report's.
    if (pass.printer != 0) platform_.closePrinter(pass.printer);
    platform_.sleep(PauseAfterInstallMs);
    progress_(100);
    return pass.report;
}

// The driver directory, then the eight copies. A failed directory query
// stops before any copy; a failed copy stops the pass before registration,
// which would refer to the missing file.
bool DriverInstaller::stageFiles(Pass& pass) {
    auto directory = platform_.printerDriverDirectory(pass.profile.environment);
    if (directory.ok() && directory.value.empty()) directory.error = winerr::PathNotFound;
    if (directory.ok() && Utf16Length(directory.value) > MaxDriverDirectoryLength)
        directory.error = winerr::FilenameExcedRange;
    if (!directory.ok()) {
        fail(pass, InstallStep::DriverDirectory, pass.profile.environment, directory.error);
        return false;
    }
    pass.directory = directory.value;

    bool copied = true;
    for (const auto& step : kCopySteps) {
        const std::string name =
            step.fileName ? step.fileName : (step.library ? pass.files.library : pass.files.description);
        std::string source = std::string(step.modelFile ? ModelFileFolder : pass.profile.commonFolder) + "\\" + name;
        if (!packageRoot_.empty()) source = packageRoot_ + "\\" + source;
        const std::string destination = pass.directory + "\\" + name;
        WinError error = winerr::FilenameExcedRange;
        if (Utf16Length(destination) <= MaxDriverPathLength) error = platform_.copyFile(source, destination, false);
        if (error != winerr::Success) {
            fail(pass, InstallStep::CopyFile, source, error);
            copied = false;
        }
        if (step.progressAfter) progress_(step.progressAfter);
    }
    progress_(60);
    return copied;
}

std::string DriverInstaller::DependentFiles(const std::string& modelLibrary) {
    std::string list("\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0", 38);
    list += modelLibrary;
    list.push_back('\0');
    list.push_back('\0');  // the closing empty text
    return list;
}

bool DriverInstaller::registerDriver(Pass& pass) {
    DriverInfo3 driver;
    driver.version = 2;
    driver.name = pass.model->displayName;
    driver.environment = pass.profile.environment;
    driver.driverPath = pass.directory + "\\uniDRV.DLL";
    driver.dataFile = pass.directory + "\\" + pass.files.description;
    driver.configFile = pass.directory + "\\uniDRVui.DLL";
    driver.helpFile = pass.directory + "\\uniDRV.HLP";
    driver.dependentFiles = DependentFiles(pass.files.library);
    driver.monitorName = "";
    driver.defaultDataType = "RAW";
    for (const std::string* path : {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile}) {
        if (Utf16Length(*path) > MaxDriverPathLength) {
            fail(pass, InstallStep::AddPrinterDriver, *path, winerr::FilenameExcedRange);
            return false;
        }
    }
    if (driver.dependentFiles.size() > MaxDependentFilesBytes) {
        fail(pass, InstallStep::AddPrinterDriver, pass.files.library, winerr::FilenameExcedRange);
        return false;
    }
    const WinError error = platform_.addPrinterDriver(driver);
    progress_(70);
    if (error != winerr::Success) {
        fail(pass, InstallStep::AddPrinterDriver, driver.name, error);
        return false;
    }
    return true;
}

// A printer of the model's name that exists already keeps its port; its
// driver has just been updated. Some spoolers refuse a second AddPrinter
// with ERROR_PRINTER_ALREADY_EXISTS, others take it and move the printer, so
// the wizard looks for it first.
bool DriverInstaller::createPrinter(Pass& pass) {
    const std::string name = pass.model->displayName;
    if (const auto existing = FindPrinter(platform_, name)) {
        progress_(80);
        return adoptExisting(pass, *existing);
    }
    PrinterInfo2 info;
    info.printerName = name;
    info.portName = pass.port;
    info.driverName = name;
    info.printProcessor = "WinPrint";
    info.datatype = "RAW";
    const auto printer = platform_.addPrinter(info);
    progress_(80);
    // Refused as existing although the listing above did not show it (a
    // spooler that was still adding it, or a listing that failed): the
    // printer keeps its port, and Device must name that one.
    if (printer.error == winerr::PrinterAlreadyExists) {
        pass.report.printerExisted = true;
        if (const auto existing = FindPrinter(platform_, name)) return adoptExisting(pass, *existing);
        return true;
    }
    if (!printer.ok() || printer.value == 0) {
        fail(pass, InstallStep::AddPrinter, name, printer.ok() ? winerr::InvalidHandle : printer.error);
        return false;
    }
    pass.printer = printer.value;
    return true;
}

// A printer of the model's name that is there already: its driver has just
// been updated; it moves to the pass's port (the installation gives the pass
// the existing printer's own port where it is to stay).
// Another product's printer of the same name is not this model's to update
// or move.
bool DriverInstaller::adoptExisting(Pass& pass, const PrinterRecord& existing) {
    pass.report.printerExisted = true;
    pass.report.existingPort = existing.port;
    pass.printerPort = existing.port;
    if (!isModelsPrinter(pass, existing, nullptr)) return false;
    return SameName(existing.port, pass.port) || moveExistingPrinter(pass, existing);
}

// SetPrinter with the new port.
bool DriverInstaller::moveExistingPrinter(Pass& pass, const PrinterRecord& existing) {
    if (const WinError error = platform_.setPrinterPort(existing.name, pass.port)) {
        fail(pass, InstallStep::MovePrinter, pass.port, error);
        return false;
    }
    pass.printerPort = pass.port;
    pass.report.movedTo = pass.port;
    return true;
}

// After a move the spooler confirmed: the user's default printer
// ("Device"), when it names this printer, names its new port.
void DriverInstaller::followDefaultPrinter(Pass& pass) {
    if (pass.report.movedTo.empty() || pass.choices.defaultPrinter) return;  // else written afterwards
    const auto key = platform_.regOpenKey(RegRoot::CurrentUser, DefaultPrinterKey, RegAccess::QueryValue);
    if (!key.ok()) return;
    const auto device = platform_.regQueryValue(key.value, "Device", 1024);
    platform_.regCloseKey(key.value);
    const std::string current = device.ok() ? device.value.data.substr(0, device.value.data.find('\0')) : "";
    if (Lower(current).rfind(Lower(pass.model->displayName) + ",", 0) != 0) return;
    writeString(pass, InstallStep::DefaultPrinter, RegRoot::CurrentUser, DefaultPrinterKey, "Device",
                std::string(pass.model->displayName) + ",winspool," + pass.printerPort);
}

// The printer as the spooler shows it uses the model's driver and, when
// port is given, is on that port.
bool DriverInstaller::isModelsPrinter(Pass& pass, const PrinterRecord& printer, const std::string* port) {
    if (!SameName(printer.driver, pass.model->displayName)) {
        fail(pass, InstallStep::ForeignDriver, printer.driver, winerr::Success);
        return false;
    }
    if (port && !SameName(printer.port, *port)) {
        fail(pass, InstallStep::ReadBack, printer.name + " on " + printer.port + ", not " + *port, winerr::Success);
        return false;
    }
    return true;
}

// The spooler's own view after the installation: the printer is there, on
// the port the pass names, with the model's driver. Spoolers that take a
// request and do something else (Wine takes a port that does not exist)
// are caught here rather than reported as done.
bool DriverInstaller::readBack(Pass& pass) {
    const auto printer = FindPrinter(platform_, pass.model->displayName);
    if (!printer) {
        fail(pass, InstallStep::ReadBack, pass.model->displayName, winerr::Success);
        return false;
    }
    return isModelsPrinter(pass, *printer, &pass.printerPort);
}

// The default the person asked for: "Device" names the printer, Windows is
// told to leave it so, and running programs (the till's) hear that the
// default changed, as Windows itself tells them.
void DriverInstaller::writeDefaultPrinter(Pass& pass) {
    if (!pass.choices.defaultPrinter) return;
    const std::string device = std::string(pass.model->displayName) + ",winspool," + pass.printerPort;
    if (!writeString(pass, InstallStep::DefaultPrinter, RegRoot::CurrentUser, DefaultPrinterKey, "Device", device))
        return;
    keepDefaultPrinter();
    platform_.broadcastSettingChange("windows", SettingChangeTimeoutMs);
}

// Only the person's own choice of a default turns Windows' management of it
// off. A value that cannot be written leaves it on: the log says so, and the
// installation stands (the printer is the default until Windows moves it).
void DriverInstaller::keepDefaultPrinter() {
    const auto key = platform_.regOpenKey(RegRoot::CurrentUser, DefaultPrinterKey, RegAccess::SetValue);
    WinError error = key.error;
    if (key.ok()) {
        error = platform_.regSetDword(key.value, LegacyDefaultPrinterModeValue, 1);
        platform_.regCloseKey(key.value);
    }
    if (error != winerr::Success && log_)
        log_->line("Windows may still move the default printer (\"Let Windows manage my default printer\"): " +
                   std::string(LegacyDefaultPrinterModeValue) + " not written, error " + std::to_string(error));
}

std::optional<std::string> DriverInstaller::PortSettingsText(const PrinterChoices& c) {
    const char* values[] = {ValueAt(SerialValueTables::baudRates(), c.baudIndex),
                            ValueAt(SerialValueTables::parities(), c.parityIndex),
                            ValueAt(SerialValueTables::dataBits(), c.dataBitsIndex),
                            ValueAt(SerialValueTables::stopBits(), c.stopBitsIndex),
                            ValueAt(SerialValueTables::flowControls(), c.flowControlIndex)};
    std::string text;
    for (const char* value : values) {
        if (!value) return std::nullopt;
        if (!text.empty()) text += ",";
        text += value;
    }
    return text;
}

// Only a COM port row of the settings page takes serial-line settings.
void DriverInstaller::writePortSettings(Pass& pass) {
    if (pass.choices.portIndex < SerialValueTables::FirstComPortRow) return;
    const char* portName = ValueAt(SerialValueTables::ports(), pass.choices.portIndex);
    const auto text = PortSettingsText(pass.choices);
    if (!portName || !text) {
        fail(pass, InstallStep::Choices, "serial settings", winerr::InvalidParameter);
        return;
    }
    writeString(pass, InstallStep::PortSettings, RegRoot::LocalMachine, PortSettingsKey, portName, *text);
}

// Opens an existing key, writes one text value and closes the key. Every
// failure is reported; a value that could not be written is marked so, for
// the box the wizard shows for it.
bool DriverInstaller::writeString(Pass& pass, InstallStep step, RegRoot root, const char* key, const std::string& name,
                                  const std::string& value) {
    const auto opened = platform_.regOpenKey(root, key, RegAccess::SetValue);
    if (!opened.ok()) {
        fail(pass, step, key, opened.error);
        return false;
    }
    const WinError error = platform_.regSetString(opened.value, name, value);
    platform_.regCloseKey(opened.value);
    if (error != winerr::Success) {
        fail(pass, step, name, error);
        pass.report.failures.back().valueNotWritten = true;
        return false;
    }
    return true;
}

void DriverInstaller::fail(Pass& pass, InstallStep step, std::string subject, WinError error) {
    pass.report.failures.push_back(
        {step, std::move(subject), error, platform_.errorText(error, pass.choices.language)});
}


}  // namespace kelp
