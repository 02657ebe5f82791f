// bench_install.exe [passes] [file KiB]
//
// Times one installation pass of the wizard's engine against the bare
// sequence of the Win32 calls it makes, run from the root of a driver
// package (the current directory):
//
//   kelp  DriverInstaller::InstallDriver(Profile32Bit, choices, "LPT1:") over
//         Win32Platform, wrapped so that sleep() returns at once: the 500 ms
//         pause after closing the printer is left out (and checked to be
//         asked for once per pass).
//   bare  GetPrinterDriverDirectoryW, the eight CopyFileW, AddPrinterDriverW
//         level 3, EnumPrintersW (size query and fetch), AddPrinterW level 2,
//         RegOpenKeyExW / RegSetValueExW "Device" / RegCloseKey under HKCU,
//         ClosePrinter: the same calls with the same arguments, written out
//         by hand with fixed buffers.
//
// The model is the first of the catalogue in its English edition, the port
// LPT1: (no serial settings to write), "set as default printer" on. Between
// passes, outside the timing, the printer is deleted (DeletePrinter), the
// driver unregistered (DeletePrinterDriverW) and the copied files removed, so
// that every pass creates them anew. One pass of each comes first and is not
// counted; then the two take turns, in alternating order.
//
// The driver files are the package's own ("Printer Driver\x86" and
// "Printer Driver\x64", laid out as the wizard expects). A file the package
// lacks is written as a stand-in, marked as such, of 1 KiB; with [file KiB]
// every file is replaced by a stand-in of that size, to see how the copies
// weigh. Before the first pass it also creates
// HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows when the
// machine lacks it (a fresh Wine prefix does): the wizard writes "Device"
// into it and fails that step otherwise.
//
// Prints "install" lines (see BenchSupport.h) and a "pause" line; exit code
// 1 when any pass or clean-up failed.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "install/DriverInstaller.h"
#include "install/ModelCatalogue.h"
#include "platform/ForwardingPlatform.h"
#include "platform/win32/Win32Platform.h"

namespace {

constexpr const char* kProgram = "bench_install";
constexpr int kModelRow = 0;
constexpr int kEnglish = 1;
constexpr const char* kPort = "LPT1:";

// The six files every model shares, in the order the wizard copies them.
constexpr const char* kCommonFiles[] = {"uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP",
                                        "UNIRES.DLL",   "TTFSUB.GPD", "STDNAMES.GPD"};

// Win32Platform with the pause taken out: every call is handed on except
// sleep(), which only counts what was asked for.
class NoPausePlatform final : public kelp::ForwardingPlatform {
public:
    explicit NoPausePlatform(kelp::Platform& inner) : ForwardingPlatform(inner) {}

    int pauses() const { return pauses_; }
    std::uint32_t pausedMs() const { return pausedMs_; }
    void resetPauses() { pauses_ = 0, pausedMs_ = 0; }

    void sleep(std::uint32_t milliseconds) override {
        ++pauses_;
        pausedMs_ += milliseconds;
    }

private:
    int pauses_ = 0;
    std::uint32_t pausedMs_ = 0;
};

std::string errorText(const char* call, DWORD error) { return std::string(call) + " failed, error " + std::to_string(error); }

// --- The package's stand-in driver files ------------------------------------

bool writeStandIn(const std::wstring& path, const std::string& name, std::size_t bytes, std::string& problem) {
    std::string body = "Kelp benchmark stand-in for " + name + ". Not a driver file.\r\n";
    while (body.size() < bytes) body += std::string(62, '.') + "\r\n";
    body.resize(bytes);
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = errorText("CreateFileW", GetLastError()) + " for " + bench::utf8(path);
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != body.size()) {
        problem = "cannot write " + bench::utf8(path);
        return false;
    }
    return true;
}

bool fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct PackageFiles {
    int own = 0;       // the package's files, used as they are
    int standIns = 0;  // written here
};

// "Printer Driver\x86": the six common files and both editions of every
// model's files; "Printer Driver\x64": the six common files. replaceKiB 0
// keeps the package's files and fills in the missing ones.
bool preparePackageFiles(int replaceKiB, PackageFiles& counts, std::string& problem) {
    const std::string x86 = kelp::Profile32Bit.commonFolder;
    const std::string x64 = kelp::Profile64Bit.commonFolder;
    for (const std::string& folder : {std::string("Printer Driver"), x86, x64}) {
        if (!CreateDirectoryW(bench::widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            problem = errorText("CreateDirectoryW", GetLastError()) + " for " + folder;
            return false;
        }
    }
    std::vector<std::string> paths;
    for (const char* name : kCommonFiles) {
        paths.push_back(x86 + "\\" + name);
        paths.push_back(x64 + "\\" + name);
    }
    for (const kelp::ModelRow& row : kelp::ModelCatalogue::rows()) {
        for (int english : {0, 1}) {
            const kelp::ModelFiles files = kelp::ModelCatalogue::filesFor(row, english);
            for (const std::string& name : {files.library, files.description}) {
                const std::string path = std::string(kelp::ModelFileFolder) + "\\" + name;
                bool listed = false;
                for (const std::string& known : paths) listed = listed || known == path;
                if (!listed) paths.push_back(path);  // shared libraries once
            }
        }
    }
    for (const std::string& path : paths) {
        const std::wstring wide = bench::widen(path);
        if (replaceKiB == 0 && fileExists(wide)) {
            ++counts.own;
            continue;
        }
        const std::size_t bytes = static_cast<std::size_t>(replaceKiB ? replaceKiB : 1) * 1024;
        if (!writeStandIn(wide, path.substr(path.rfind('\\') + 1), bytes, problem)) return false;
        ++counts.standIns;
    }
    return true;
}

// The bytes one pass copies: the sizes of its eight source files.
unsigned long long copiedBytes(const std::vector<std::wstring>& sources) {
    unsigned long long total = 0;
    for (const std::wstring& source : sources) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data))
            total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return total;
}

// --- The bare sequence ------------------------------------------------------

struct BareCall {
    std::wstring environment;
    std::wstring printerName;
    std::wstring port;
    std::wstring device;
    std::wstring defaultPrinterKey;
    std::vector<std::wstring> sources;  // in copy order
    std::vector<std::wstring> names;    // the file names, in copy order
    std::wstring description;           // the model's .GPD
    std::wstring dependentFiles;        // multi-sz
};

BareCall bareCallFor(const kelp::ModelRow& model) {
    const kelp::ModelFiles files = kelp::ModelCatalogue::filesFor(model, kEnglish);
    BareCall call;
    call.environment = bench::widen(kelp::Profile32Bit.environment);
    call.printerName = bench::widen(model.displayName);
    call.port = bench::widen(kPort);
    call.device = call.printerName + L",winspool," + call.port;
    call.defaultPrinterKey = bench::widen(kelp::DefaultPrinterKey);
    const std::wstring modelFolder = bench::widen(kelp::ModelFileFolder);
    const std::wstring commonFolder = bench::widen(kelp::Profile32Bit.commonFolder);
    for (const std::string& name : {files.library, files.description}) {
        call.names.push_back(bench::widen(name));
        call.sources.push_back(modelFolder + L"\\" + bench::widen(name));
    }
    for (const char* name : kCommonFiles) {
        call.names.push_back(bench::widen(name));
        call.sources.push_back(commonFolder + L"\\" + bench::widen(name));
    }
    call.description = bench::widen(files.description);
    call.dependentFiles = std::wstring(L"\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0", 38) +
                          bench::widen(files.library) + std::wstring(1, L'\0') + std::wstring(1, L'\0');
    return call;
}

// One pass of the bare calls; false (and what failed) when a call fails.
bool barePass(BareCall& call, std::string& problem) {
    wchar_t directory[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, call.environment.data(), 1, reinterpret_cast<BYTE*>(directory),
                                    sizeof(directory), &needed)) {
        problem = errorText("GetPrinterDriverDirectoryW", GetLastError());
        return false;
    }
    wchar_t destination[MAX_PATH];
    for (std::size_t i = 0; i < call.sources.size(); ++i) {
        std::swprintf(destination, MAX_PATH, L"%ls\\%ls", directory, call.names[i].c_str());
        if (!CopyFileW(call.sources[i].c_str(), destination, FALSE)) {
            problem = errorText("CopyFileW", GetLastError()) + " for " + bench::utf8(call.sources[i]);
            return false;
        }
    }

    wchar_t driverPath[MAX_PATH], dataFile[MAX_PATH], configFile[MAX_PATH], helpFile[MAX_PATH];
    std::swprintf(driverPath, MAX_PATH, L"%ls\\uniDRV.DLL", directory);
    std::swprintf(dataFile, MAX_PATH, L"%ls\\%ls", directory, call.description.c_str());
    std::swprintf(configFile, MAX_PATH, L"%ls\\uniDRVui.DLL", directory);
    std::swprintf(helpFile, MAX_PATH, L"%ls\\uniDRV.HLP", directory);
    wchar_t noMonitor[] = L"";
    wchar_t raw[] = L"RAW";
    DRIVER_INFO_3W driver{};
    driver.cVersion = 2;
    driver.pName = call.printerName.data();
    driver.pEnvironment = call.environment.data();
    driver.pDriverPath = driverPath;
    driver.pDataFile = dataFile;
    driver.pConfigFile = configFile;
    driver.pHelpFile = helpFile;
    driver.pDependentFiles = call.dependentFiles.data();
    driver.pMonitorName = noMonitor;
    driver.pDefaultDataType = raw;
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver))) {
        problem = errorText("AddPrinterDriverW", GetLastError());
        return false;
    }

    wchar_t everyPrinter[] = L"";
    DWORD returned = 0;
    needed = 0;
    std::vector<BYTE> records;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    if (!EnumPrintersW(flags, everyPrinter, 2, nullptr, 0, &needed, &returned)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            problem = errorText("EnumPrintersW", GetLastError());
            return false;
        }
        records.resize(needed);
        if (!EnumPrintersW(flags, everyPrinter, 2, records.data(), needed, &needed, &returned)) {
            problem = errorText("EnumPrintersW", GetLastError());
            return false;
        }
        const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(records.data());
        for (DWORD i = 0; i < returned; ++i) {
            if (printers[i].pPrinterName && _wcsicmp(printers[i].pPrinterName, call.printerName.c_str()) == 0) {
                problem = "the printer exists before the pass";
                return false;
            }
        }
    }

    wchar_t winPrint[] = L"WinPrint";
    PRINTER_INFO_2W printer{};
    printer.pPrinterName = call.printerName.data();
    printer.pPortName = call.port.data();
    printer.pDriverName = call.printerName.data();
    printer.pPrintProcessor = winPrint;
    printer.pDatatype = raw;
    const HANDLE handle = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (!handle) {
        problem = errorText("AddPrinterW", GetLastError());
        return false;
    }

    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, call.defaultPrinterKey.c_str(), 0, KEY_SET_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, L"Device", 0, REG_SZ, reinterpret_cast<const BYTE*>(call.device.c_str()),
                                static_cast<DWORD>((call.device.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    const BOOL closed = ClosePrinter(handle);
    if (status != ERROR_SUCCESS) {
        problem = errorText("the Device value", static_cast<DWORD>(status));
        return false;
    }
    if (!closed) {
        problem = errorText("ClosePrinter", GetLastError());
        return false;
    }
    return true;
}

// --- Between passes ----------------------------------------------------------

bool printerListed(const std::wstring& name) {
    wchar_t everyPrinter[] = L"";
    DWORD needed = 0, returned = 0;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    if (EnumPrintersW(flags, everyPrinter, 2, nullptr, 0, &needed, &returned)) return false;
    std::vector<BYTE> records(needed);
    if (!EnumPrintersW(flags, everyPrinter, 2, records.data(), needed, &needed, &returned)) return false;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(records.data());
    for (DWORD i = 0; i < returned; ++i)
        if (printers[i].pPrinterName && _wcsicmp(printers[i].pPrinterName, name.c_str()) == 0) return true;
    return false;
}

bool driverListed(BareCall& call) {
    DWORD needed = 0, returned = 0;
    if (EnumPrinterDriversW(nullptr, call.environment.data(), 1, nullptr, 0, &needed, &returned)) return false;
    std::vector<BYTE> records(needed);
    if (!EnumPrinterDriversW(nullptr, call.environment.data(), 1, records.data(), needed, &needed, &returned))
        return false;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_1W*>(records.data());
    for (DWORD i = 0; i < returned; ++i)
        if (drivers[i].pName && _wcsicmp(drivers[i].pName, call.printerName.c_str()) == 0) return true;
    return false;
}

// Deletes the printer, unregisters the driver and removes the copied files.
bool removeInstallation(BareCall& call, std::string& problem) {
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (OpenPrinterW(call.printerName.data(), &printer, &access)) {
        const BOOL deleted = DeletePrinter(printer);
        const DWORD error = GetLastError();
        ClosePrinter(printer);
        if (!deleted) {
            problem = errorText("DeletePrinter", error);
            return false;
        }
    }
    if (printerListed(call.printerName)) {
        problem = "the printer is still listed after DeletePrinter";
        return false;
    }
    // Wine answers FALSE without an error code for a driver it does not
    // have, so the driver is looked for first and after.
    if (driverListed(call)) {
        if (!DeletePrinterDriverW(nullptr, call.environment.data(), call.printerName.data())) {
            problem = errorText("DeletePrinterDriverW", GetLastError());
            return false;
        }
        if (driverListed(call)) {
            problem = "the driver is still listed after DeletePrinterDriverW";
            return false;
        }
    }
    wchar_t directory[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, call.environment.data(), 1, reinterpret_cast<BYTE*>(directory),
                                    sizeof(directory), &needed)) {
        problem = errorText("GetPrinterDriverDirectoryW", GetLastError());
        return false;
    }
    for (const std::wstring& name : call.names) {
        const std::wstring path = std::wstring(directory) + L"\\" + name;
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            problem = errorText("DeleteFileW", GetLastError()) + " for " + bench::utf8(path);
            return false;
        }
    }
    return true;
}

bool ensureDefaultPrinterKey(bool& created, std::string& problem) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, bench::widen(kelp::DefaultPrinterKey).c_str(), 0,
                                           nullptr, 0, KEY_SET_VALUE, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) {
        problem = errorText("RegCreateKeyExW", static_cast<DWORD>(status));
        return false;
    }
    RegCloseKey(key);
    created = disposition == REG_CREATED_NEW_KEY;
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int passes = bench::positiveArgument(argc > 1 ? argv[1] : nullptr, 20);
    const int replaceKiB = argc > 2 ? bench::positiveArgument(argv[2], 0) : 0;

    const kelp::ModelRow* model = kelp::ModelCatalogue::row(kModelRow);
    BareCall bare = bareCallFor(*model);
    std::string problem;
    PackageFiles files;
    bool keyCreated = false;
    if (!preparePackageFiles(replaceKiB, files, problem) || !ensureDefaultPrinterKey(keyCreated, problem) ||
        !removeInstallation(bare, problem)) {
        bench::complain(kProgram, "setting up: " + problem);
        return 1;
    }
    std::printf("setup model=%s edition=English port=%s package_files=%d stand_ins=%d copied_bytes=%llu "
                "windows_key=%s\n",
                model->displayName, kPort, files.own, files.standIns, copiedBytes(bare.sources),
                keyCreated ? "created" : "present");

    kelp::win32::Win32Platform win32;
    NoPausePlatform platform(win32);
    kelp::PrinterChoices choices;
    choices.language = kEnglish;
    choices.modelRow = kModelRow;
    choices.defaultPrinter = true;
    choices.portIndex = 0;  // LPT1

    auto kelpPass = [&](std::string& failure) {
        kelp::DriverInstaller installer(platform, [](int) {}, [](const std::string&) {});
        platform.resetPauses();
        bench::Stopwatch clock;
        const kelp::InstallReport report = installer.InstallDriver(kelp::Profile32Bit, choices, kPort);
        const double ms = clock.elapsedMs();
        if (!report.succeeded() || report.printerExisted) {
            failure = "the installation pass did not succeed: " +
                      kelp::DescribeInstallReport(report, model->displayName, kEnglish);
            return -1.0;
        }
        if (platform.pauses() != 1 || platform.pausedMs() != kelp::PauseAfterInstallMs) {
            failure = "the pass asked for " + std::to_string(platform.pauses()) + " pauses, " +
                      std::to_string(platform.pausedMs()) + " ms";
            return -1.0;
        }
        return ms;
    };
    auto barePassTimed = [&](std::string& failure) {
        bench::Stopwatch clock;
        const bool ok = barePass(bare, failure);
        const double ms = clock.elapsedMs();
        return ok ? ms : -1.0;
    };

    std::vector<double> kelpSamples, bareSamples;
    // Pass 0 of each is not counted.
    for (int pass = 0; pass <= passes; ++pass) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool kelpTurn = (turn == 0) == (pass % 2 == 0);
            const double ms = kelpTurn ? kelpPass(problem) : barePassTimed(problem);
            if (ms < 0) {
                bench::complain(kProgram, std::string(kelpTurn ? "kelp" : "bare") + " pass: " + problem);
                removeInstallation(bare, problem);
                return 1;
            }
            if (pass > 0) (kelpTurn ? kelpSamples : bareSamples).push_back(ms);
            if (!removeInstallation(bare, problem)) {
                bench::complain(kProgram, "between passes: " + problem);
                return 1;
            }
        }
    }
    bench::report("install", "kelp", kelpSamples);
    bench::report("install", "bare", bareSamples);
    std::printf("pause requested_ms=%u excluded_per_pass=1\n", static_cast<unsigned>(kelp::PauseAfterInstallMs));
    return 0;
}
