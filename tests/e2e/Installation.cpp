#include "Installation.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "Machine.h"

namespace e2e {

namespace {

const wchar_t kEnvironment32[] = L"Windows NT x86";
const wchar_t kEnvironment64[] = L"Windows x64";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The spooler may keep its own copy of a file; what counts is the file name.
bool endsWithFile(const std::string& path, const std::string& file) {
    const std::string p = lower(path), f = lower(file);
    if (p == f) return true;
    return p.size() > f.size() && p.compare(p.size() - f.size(), f.size(), f) == 0 &&
           p[p.size() - f.size() - 1] == '\\';
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every file name the wizard may stage, in both editions.
std::vector<std::string> allDriverFiles() {
    std::vector<std::string> names = commonFiles();
    for (const auto& model : models())
        for (int row : {kChinese, kEnglish}) {
            names.push_back(model.library(row));
            names.push_back(model.description(row));
        }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace

std::string Model::library(int languageRow) const {
    return (languageRow == kChinese ? libraryChinese : libraryEnglish) + ".DLL";
}

std::string Model::description(int languageRow) const {
    return (languageRow == kChinese ? descriptionChinese : descriptionEnglish) + ".GPD";
}

const std::vector<Model>& models() {
    static const std::vector<Model> catalogue = {
        {"RK-520P", "RK520PCN", "RK520PCN", "RK520P", "RK520P"},
        {"RK-520PW", "RK520PCN", "RK520PWCN", "RK520PW", "RK520PW"},
        {"RK-730P", "RK730PCN", "RK730PCN", "RK730P", "RK730P"},
        {"RK-730PN", "RK730PCN", "RK730PNCN", "RK730PN", "RK730PN"},
        {"RK-730P(NEW)", "RK730PCN", "RK730PNEWCN", "RK730PNEW", "RK730PNEW"},
        {"MZ730P", "RK730PCN", "MZ730PCN", "MZ730P", "MZ730P"},
        {"MZ730PN", "RK730PCN", "MZ730PNCN", "MZ730PN", "MZ730PN"},
    };
    return catalogue;
}

const std::vector<std::string>& commonFiles() {
    static const std::vector<std::string> files = {"uniDRV.DLL", "uniDRVui.DLL", "UNIDRV.HLP",
                                                   "UNIRES.DLL", "TTFSUB.GPD",   "STDNAMES.GPD"};
    return files;
}

Profile profileFor(const Scenario& scenario) {
    if (scenario.win64()) return {kEnvironment64, "x64"};
    return {kEnvironment32, "x86"};
}

std::string completionMessage(int languageRow, const std::string& port, PortWhy why) {
    const bool chinese = languageRow == kChinese;
    std::string text = chinese ? "驱动安装完成\n端口：" + port : "Driver installation completed\nPort: " + port;
    switch (why) {
        case PortWhy::Chosen: break;
        case PortWhy::FirstUsb:
            text += chinese ? "（未找到已连接的 USB 打印机：第一个 USB 端口）"
                            : " (no connected USB printer was found: the first USB port)";
            break;
        case PortWhy::FirstSerial:
            text += chinese ? "（没有 USB 端口：第一个串行端口）" : " (no USB port: the first serial port)";
            break;
        case PortWhy::Connected:
            text += chinese ? "（唯一连接了打印机的 USB 端口）" : " (the only USB port with a connected printer)";
            break;
    }
    return text;
}

std::string existingPrinterMessage(int languageRow, const std::string& printer, const std::string& port) {
    if (languageRow == kChinese)
        return "打印机“" + printer + "”已存在：已更新其驱动，端口保持不变。\n端口：" + port + "（打印机原有的端口，保持不变）";
    return "The printer \"" + printer + "\" already exists: its driver was updated and its port left as it was.\nPort: " +
           port + " (the printer's own port, kept)";
}

std::string failurePrefix(int languageRow) {
    return languageRow == kChinese ? "驱动安装失败：" : "Driver installation failed:";
}

bool resetMachine() {
    std::string problem;
    if (!removeAllPrinters(problem)) {
        ADD_FAILURE() << problem;
        return false;
    }
    const std::vector<std::string> files = allDriverFiles();
    for (const wchar_t* environment : {kEnvironment32, kEnvironment64}) {
        for (const auto& model : models()) {
            if (!removeDriver(environment, widen(model.name), problem)) {
                ADD_FAILURE() << problem;
                return false;
            }
        }
        const auto directory = driverDirectory(environment);
        if (!directory) continue;  // no such environment in a 32-bit prefix
        for (const auto& name : files) {
            if (!removeFile(*directory + L"\\" + widen(name))) {
                ADD_FAILURE() << "could not remove " << utf8(*directory) << "\\" << name;
                return false;
            }
        }
    }
    if (!createRegistryKey(HKEY_CURRENT_USER, kWindowsKey) ||
        !deleteRegistryValue(HKEY_CURRENT_USER, kWindowsKey, L"Device") ||
        !deleteRegistryValue(HKEY_CURRENT_USER, kWindowsKey, L"LegacyDefaultPrinterMode")) {
        ADD_FAILURE() << "could not reset the default printer value";
        return false;
    }
    // The local port monitor takes a value of its key for a port.
    if (!writeRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, L"USB001", L"")) {
        ADD_FAILURE() << "could not add the port USB001";
        return false;
    }
    const auto ports = spoolerPorts();
    if (!ports || !hasPort(*ports, "USB001")) {
        ADD_FAILURE() << "the spooler does not list USB001";
        return false;
    }
    return true;
}

InstallOutcome install(const InstallRun& run) {
    InstallOutcome outcome;
    const Model& model = models().at(static_cast<size_t>(run.modelRow));
    Wizard wizard(Scenario::current());
    if (!wizard.started()) {
        ADD_FAILURE() << "CreateProcessW failed: " << wizard.startError();
        return outcome;
    }
    const HWND settings = openSettings(wizard, run.languageRow);
    if (!settings || !chooseModel(settings, run.modelRow, model.name)) return outcome;
    if (run.defaultPrinter) {
        EXPECT_TRUE(click(settings, 1012));
        if (!waitUntil([&] { return checkState(settings, 1012) == BST_CHECKED; })) {
            ADD_FAILURE() << "the default-printer box did not get checked";
            return outcome;
        }
    }
    const HWND port = openPortPage(wizard, settings);
    if (!port) return outcome;
    const std::string tag = languageTag(run.languageRow);
    if (!run.shots.empty()) shot(port, run.shots + "-port-" + tag);
    EXPECT_EQ(std::vector<int>{1}, listSelection(port, 1021)) << "the USB row is selected as the page opens";

    if (!run.port.empty()) {
        EXPECT_TRUE(click(port, 1012));
        int row = -1;
        if (!waitUntil([&] { return (row = listFind(port, 1021, run.port)) >= 0; })) {
            ADD_FAILURE() << "Search Port did not list " << run.port << "; rows "
                          << ::testing::PrintToString(listRows(port, 1021));
            return outcome;
        }
        EXPECT_TRUE(listSelection(port, 1021).empty()) << "no row is selected after Search Port";
        if (!run.portDescription.empty()) {
            EXPECT_EQ(run.portDescription, listRows(port, 1021).at(row).at(1));
            SendMessageW(GetDlgItem(port, 1021), LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
            if (!run.shots.empty()) shot(port, run.shots + "-port-described-" + tag);
        }
        if (!run.shots.empty()) shot(port, run.shots + "-port-searched-" + tag);
        if (run.portRow >= 0) EXPECT_EQ(run.portRow, row) << run.port;
        EXPECT_TRUE(selectListRow(port, 1021, row));
        EXPECT_EQ(std::vector<int>{row}, listSelection(port, 1021));
    }
    EXPECT_TRUE(itemEnabled(port, 1022)) << "Install is enabled";
    EXPECT_TRUE(click(port, 1022));
    if (!takeMessage(wizard, outcome.message, run.shots.empty() ? std::string() : run.shots + "-message-" + tag))
        return outcome;
    if (!wizard.waitExit()) {
        ADD_FAILURE() << "the wizard did not end after its message; " << wizard.describe();
        return outcome;
    }
    outcome.finished = true;
    return outcome;
}

void expectPrinter(const Model& model, const std::string& port) {
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers) << "EnumPrintersW failed: " << GetLastError();
    const PrinterEntry* printer = findPrinter(*printers, model.name);
    ASSERT_NE(nullptr, printer) << "no printer " << model.name << "; " << printers->size() << " printers";
    EXPECT_EQ(port, printer->port) << model.name;
    EXPECT_EQ(model.name, printer->driver) << model.name;
}

void expectDriver(const Model& model, int languageRow, const Profile& profile) {
    const auto drivers = spoolerDrivers(profile.environment);
    ASSERT_TRUE(drivers) << "EnumPrinterDriversW(" << utf8(profile.environment) << ") failed: " << GetLastError();
    const DriverEntry* driver = findDriver(*drivers, model.name);
    ASSERT_NE(nullptr, driver) << "no driver " << model.name << " for " << utf8(profile.environment);
    EXPECT_TRUE(endsWithFile(driver->driverPath, "uniDRV.DLL")) << driver->driverPath;
    EXPECT_TRUE(endsWithFile(driver->configFile, "uniDRVui.DLL")) << driver->configFile;
    EXPECT_TRUE(endsWithFile(driver->helpFile, "UNIDRV.HLP")) << driver->helpFile;
    EXPECT_TRUE(endsWithFile(driver->dataFile, model.description(languageRow))) << driver->dataFile;
    const auto& dependents = driver->dependentFiles;
    EXPECT_TRUE(std::any_of(dependents.begin(), dependents.end(),
                            [&](const std::string& file) { return endsWithFile(file, model.library(languageRow)); }))
        << ::testing::PrintToString(dependents);
    EXPECT_EQ("RAW", driver->defaultDataType);
}

void expectStagedFiles(const Model& model, int languageRow, const Profile& profile) {
    const auto directory = driverDirectory(profile.environment);
    ASSERT_TRUE(directory) << "GetPrinterDriverDirectoryW(" << utf8(profile.environment) << ") failed";
    const std::wstring package = Scenario::current().packageRoot + L"\\Printer Driver\\";
    const std::string edition = languageRow == kChinese ? "Edition: Chinese" : "Edition: English";

    auto expectCopy = [&](const std::string& name, const std::string& folder) {
        const std::wstring staged = *directory + L"\\" + widen(name);
        const std::wstring source = package + widen(folder) + L"\\" + widen(name);
        ASSERT_TRUE(fileExists(staged)) << utf8(staged) << " is missing";
        const std::string body = readFile(staged);
        EXPECT_EQ(readFile(source), body) << utf8(staged) << " is not a copy of " << utf8(source);
        EXPECT_TRUE(contains(body, "File: " + name)) << body;
        EXPECT_TRUE(contains(body, "Folder: Printer Driver\\" + folder)) << body;
    };
    for (const auto& name : {model.library(languageRow), model.description(languageRow)}) {
        SCOPED_TRACE(name);
        const std::wstring staged = *directory + L"\\" + widen(name);
        expectCopy(name, "x86");
        const std::string body = readFile(staged);
        EXPECT_TRUE(contains(body, edition)) << body;
        EXPECT_TRUE(contains(body, model.name)) << body;
    }
    for (const auto& name : commonFiles()) {
        SCOPED_TRACE(name);
        expectCopy(name, profile.commonFolder);
    }
    const int other = languageRow == kChinese ? kEnglish : kChinese;
    for (const auto& name : {model.library(other), model.description(other)})
        EXPECT_FALSE(fileExists(*directory + L"\\" + widen(name))) << name << " is of the other edition";
}

std::optional<std::string> defaultPrinterValue() {
    return readRegistryText(HKEY_CURRENT_USER, kWindowsKey, L"Device");
}

std::optional<DWORD> legacyDefaultPrinterMode() {
    DWORD value = 0, type = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kWindowsKey, L"LegacyDefaultPrinterMode", RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

void expectInstalled(const Model& model, const std::string& port, int languageRow, const Profile& profile) {
    expectPrinter(model, port);
    expectDriver(model, languageRow, profile);
    expectStagedFiles(model, languageRow, profile);
}

}  // namespace e2e

namespace e2e {

void expectTestReceipt(const std::function<std::string()>& received, const std::string& model, const std::string& port,
                       int languageRow) {
    const bool chinese = languageRow == kChinese;
    // Chinese character mode (FS &) for the Chinese edition; a ruler; ESC @ at the end.
    const std::string head = chinese ? "\x1b@\x1c&Kelp \xb2\xe2\xca\xd4\xd0\xa1\xc6\xb1\n\xd0\xcd\xba\xc5\xa3\xba" + model +
                                           "\n\xb6\xcb\xbf\xda\xa3\xba" + port + "\n\xca\xb1\xbc\xe4\xa3\xba"
                                     : "\x1b@Kelp test receipt\nModel: " + model + "\nPort: " + port + "\nTime: ";
    const std::string ruler = "\nKelp 4.0\n.........1.........2.........3.|.......4.......|\n";
    const std::string tail = chinese ? ruler + "32 \xc1\xd0\xa3\xba" "58 \xba\xc1\xc3\xd7\xd6\xbd\xa3\xbb" "48 \xc1\xd0\xa3\xba"
                                               "80 \xba\xc1\xc3\xd7\xd6\xbd\n"
                                               "\xb4\xf2\xd3\xa1\xbb\xfa\xd2\xd1\xb0\xb2\xd7\xb0\xa3\xac\xbf\xc9\xd2\xd4"
                                               "\xca\xb9\xd3\xc3\xa1\xa3\n\x1b\x64\x04\x1dVB"
                                     : ruler + "32 columns: 58 mm paper; 48 columns: 80 mm paper\n"
                                               "This printer is installed and ready.\n\x1b\x64\x04\x1dVB";
    const std::size_t whole = head.size() + 19 + tail.size() + 3;
    const std::string end = std::string(1, '\0') + "\x1b@";
    waitUntil([&] {
        const std::string now = received();
        return now.size() >= whole && now.compare(now.size() - end.size(), end.size(), end) == 0;
    });
    std::string bytes = received();
    // What the printer said it is (model, serial number) heads a receipt
    // after its title; the scenarios that ask it check those lines.
    const std::size_t title = head.find('\n') + 1;
    for (const std::string label : {chinese ? std::string("\xb4\xf2\xd3\xa1\xbb\xfa\xd0\xcd\xba\xc5\xa3\xba") : std::string("Printer model: "),
                                    chinese ? std::string("\xd0\xf2\xc1\xd0\xba\xc5\xa3\xba") : std::string("Serial number: ")})
        if (bytes.compare(title, label.size(), label) == 0) bytes.erase(title, bytes.find('\n', title) + 1 - title);
    ASSERT_EQ(whole, bytes.size()) << bytes;
    EXPECT_EQ(head, bytes.substr(0, head.size()));
    EXPECT_EQ(tail + std::string(1, '\0') + "\x1b@", bytes.substr(head.size() + 19));
}

}  // namespace e2e
