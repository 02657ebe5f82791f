#include "install/Removal.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "install/DriverInstaller.h"
#include "install/InstallationLock.h"
#include "install/Names.h"

namespace kelp {

namespace {

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every file a driver record names: the four paths and the dependent files.
std::vector<std::string> DriverFiles(const DriverInfo3& driver) {
    std::vector<std::string> files;
    for (const std::string* path : {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile}) {
        if (!path->empty()) files.push_back(*path);
    }
    std::size_t start = 0;
    while (start < driver.dependentFiles.size()) {
        const std::size_t end = driver.dependentFiles.find('\0', start);
        std::string item = driver.dependentFiles.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (item.empty()) break;
        files.push_back(std::move(item));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return files;
}

class Removal {
public:
    Removal(Platform& platform, RunLog* log) : platform_(platform), log_(log) {}
    RemovalOutcome run(const std::string& name);

private:
    bool forgetDefaultPrinter(const std::string& printerName);
    WinError deleteDriver(const char* environment, const std::string& name, bool mayBeLetGo,
                          bool& spoolerDeletedFiles);
    bool deleteDriverFiles(const char* environment, const DriverInfo3& driver,
                           const std::vector<std::string>& usedElsewhere);
    void note(const std::string& text);

    Platform& platform_;
    RunLog* log_;
};

// Removes the printer, then the driver, then the driver's files that no
// other driver of the environment names. The spooler removes unused files
// itself where it can (DPD_DELETE_UNUSED_FILES); where it refuses the option
// (Wine answers 87) the driver is removed alone and its files afterwards.
RemovalOutcome Removal::run(const std::string& name) {
    const char* environment = ProfileForThisMachine(platform_).environment;
    const auto printers = platform_.enumPrinters();
    const auto drivers = platform_.enumPrinterDrivers(environment);
    if (!printers.ok() || !drivers.ok()) return RemovalOutcome::Failed;
    std::optional<PrinterRecord> printer;
    for (const auto& record : printers.value) {
        if (SameName(record.name, name)) printer = record;
    }
    std::optional<DriverInfo3> driver;
    std::vector<std::string> usedElsewhere;  // a list: std::set would add its tree code
    for (const auto& record : drivers.value) {
        if (SameName(record.name, name)) {
            driver = record;
            continue;
        }
        for (const auto& file : DriverFiles(record)) usedElsewhere.push_back(Lower(BaseName(file)));
    }
    if (!printer && !driver) return RemovalOutcome::NotInstalled;

    if (printer) {
        if (platform_.deletePrinter(printer->name) != winerr::Success) return RemovalOutcome::Failed;
        if (!forgetDefaultPrinter(printer->name)) return RemovalOutcome::Failed;
    }
    if (driver) {
        // Where the spooler takes the option it decides itself which files are
        // unused (some may still be loaded); only where it refuses the option
        // are the files deleted here.
        // Only the printer deleted here may still hold the driver for a
        // moment; another printer of that driver holds it for good.
        const bool heldByDeletedOnly =
            printer && std::none_of(printers.value.begin(), printers.value.end(), [&](const PrinterRecord& other) {
                return !SameName(other.name, printer->name) && SameName(other.driver, driver->name);
            });
        bool spoolerDeletedFiles = false;
        const WinError error = deleteDriver(environment, driver->name, heldByDeletedOnly, spoolerDeletedFiles);
        if (error == winerr::PrinterDriverInUse && heldByDeletedOnly) {
            note("the driver " + QuotedText(driver->name) + " is still in use after the printer was deleted: "
                 "it is left for Windows to free");
            return RemovalOutcome::DriverLeftInUse;
        }
        if (error != winerr::Success) return RemovalOutcome::Failed;
        if (!spoolerDeletedFiles && !deleteDriverFiles(environment, *driver, usedElsewhere))
            return RemovalOutcome::Failed;
    }
    return RemovalOutcome::Removed;
}

// Windows answers 3001 (in use) for a driver whose printer it has just
// deleted while the spooler still holds that printer (an open handle, a job
// being deleted); it lets go within moments. The driver is asked for again
// for a few seconds then; a driver in use by a printer that stays is not.
WinError Removal::deleteDriver(const char* environment, const std::string& name, bool mayBeLetGo,
                               bool& spoolerDeletedFiles) {
    constexpr int kAttempts = 10;
    constexpr std::uint32_t kPauseMs = 500;
    for (int attempt = 1;; ++attempt) {
        WinError error = platform_.deletePrinterDriver(environment, name, true);
        spoolerDeletedFiles = error != winerr::InvalidParameter;
        if (!spoolerDeletedFiles) error = platform_.deletePrinterDriver(environment, name, false);
        if (error != winerr::PrinterDriverInUse || !mayBeLetGo || attempt == kAttempts) return error;
        platform_.sleep(kPauseMs);
    }
}

// When the "Device" value names the removed printer, it names another
// printer afterwards (the first the spooler lists), or nothing when none is
// left, as Windows does when the default printer goes.
bool Removal::forgetDefaultPrinter(const std::string& printerName) {
    constexpr std::size_t kDeviceBytes = 1024;
    const auto readKey = platform_.regOpenKey(RegRoot::CurrentUser, DefaultPrinterKey, RegAccess::QueryValue);
    if (!readKey.ok()) return true;  // no such value: nothing names the printer
    const auto device = platform_.regQueryValue(readKey.value, "Device", kDeviceBytes);
    platform_.regCloseKey(readKey.value);
    if (!device.ok()) return true;
    const std::string current = device.value.data.substr(0, device.value.data.find('\0'));
    const std::string prefix = Lower(printerName) + ",";
    if (Lower(current).rfind(prefix, 0) != 0) return true;

    // A printer still listed while its jobs finish is not a replacement, nor
    // is a connection to another machine's printer (its port is no local one).
    std::string replacement;
    const auto printers = platform_.enumPrinters();
    for (const auto& other : printers.value) {
        if (SameName(other.name, printerName) || other.name.rfind("\\\\", 0) == 0) continue;
        replacement = other.name + ",winspool," + other.port;
        break;
    }
    const auto key = platform_.regOpenKey(RegRoot::CurrentUser, DefaultPrinterKey, RegAccess::SetValue);
    if (!key.ok()) return false;
    const WinError error = platform_.regSetString(key.value, "Device", replacement);
    platform_.regCloseKey(key.value);
    return error == winerr::Success;
}

// Each of the driver's files that no other driver names goes, from where the
// spooler says it is and from the driver directory the installation copied
// it to, but only from inside that directory: a record may name any path
// ("..\..\x.dll" as well) and the run may be SYSTEM's. Windows says what a
// path means (its full path); a file whose full path lies elsewhere is left
// and the log says so, as is an entry that is no valid name or names a
// folder. A file that is gone already is no failure.
bool Removal::deleteDriverFiles(const char* environment, const DriverInfo3& driver,
                                const std::vector<std::string>& usedElsewhere) {
    const auto directory = platform_.printerDriverDirectory(environment);
    std::string inside;  // the directory's full path, ending in a backslash
    if (directory.ok() && !directory.value.empty()) {
        const auto full = platform_.fullPathName(directory.value);
        if (full.ok() && !full.value.empty()) inside = Lower(full.value.back() == '\\' ? full.value : full.value + "\\");
    }
    if (inside.empty()) {
        note("the driver's files are left: the driver directory is not known");
        return false;
    }
    std::vector<std::string> paths;
    std::vector<std::string> seen;
    bool deleted = true;
    for (const auto& file : DriverFiles(driver)) {
        const std::string base = BaseName(file);
        if (std::find(usedElsewhere.begin(), usedElsewhere.end(), Lower(base)) != usedElsewhere.end()) continue;
        std::vector<std::string> candidates;
        const bool absolute = (file.size() > 2 && file[1] == ':' && (file[2] == '\\' || file[2] == '/')) ||
                              file.rfind("\\\\", 0) == 0;
        if (absolute) candidates.push_back(file);
        candidates.push_back(directory.value + "\\" + base);
        for (const auto& candidate : candidates) {
            const auto full = platform_.fullPathName(candidate);
            if (!full.ok()) {
                note("left " + QuotedText(candidate) + ": not a valid file name");
                continue;
            }
            const std::string folded = Lower(full.value);
            if (folded.size() <= inside.size() || folded.compare(0, inside.size(), inside) != 0) {
                note("left " + QuotedText(candidate) + ": not in the driver directory " + QuotedText(directory.value));
                continue;
            }
            if (std::find(seen.begin(), seen.end(), folded) == seen.end()) {
                seen.push_back(folded);
                paths.push_back(full.value);
            }
        }
    }
    for (const auto& path : paths) {
        const WinError error = platform_.deleteFile(path);
        if (error == winerr::Directory)
            note("left " + QuotedText(path) + ": it is a folder");
        else if (error != winerr::Success && error != winerr::FileNotFound && error != winerr::PathNotFound)
            deleted = false;
    }
    return deleted;
}

void Removal::note(const std::string& text) {
    if (log_) log_->line(text);
}

}  // namespace

RemovalOutcome RemoveModel(Platform& platform, const std::string& name, RunLog* log) {
    if (!platform.runsElevated()) {
        if (log) log->line("nothing removed: removing needs administrator rights, which this process does not have");
        return RemovalOutcome::NoAdministrator;
    }
    InstallationLock lock(platform, log);
    if (lock.heldElsewhere()) return RemovalOutcome::Busy;
    if (lock.error() != winerr::Success) return RemovalOutcome::LockFailed;
    return Removal(platform, log).run(name);
}

}  // namespace kelp
