// Installations through the real wizard under Wine, checked afterwards
// through the spooler, the driver directory and the registry. Each test
// starts from a machine without any of the wizard's printers, drivers or
// files (resetMachine), with the port USB001 known to the spooler. The
// wizard speaks the language of the scenario's locale.
//
// Install.*   a 32-bit prefix: the 32-bit profile, printers created.
// Install64.* a 64-bit prefix: the 64-bit profile; Wine cannot create a
//             printer on a "Windows x64" driver from a 32-bit process, which
//             the wizard must report as the failure it is.

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include "Flows.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

class InstallTest : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = defaultLanguageRow();
    const Profile profile = profileFor(scenario);

    void SetUp() override {
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        ASSERT_TRUE(resetMachine());
    }
};

class Install : public InstallTest {
protected:
    void SetUp() override {
        if (scenario.win64()) GTEST_SKIP() << "the 32-bit profile needs a 32-bit prefix";
        InstallTest::SetUp();
    }
};

class Install64 : public InstallTest {
protected:
    void SetUp() override {
        if (!scenario.win64()) GTEST_SKIP() << "the 64-bit profile needs a 64-bit prefix";
        InstallTest::SetUp();
    }
};

}  // namespace

// The USB row as the page opens: the wizard picks USB001 by itself, creates
// the printer there and makes it the default printer.
TEST_F(Install, AutomaticUsbPortAsDefaultPrinter) {
    const Model& model = models()[0];
    const auto outcome = install({language, 0, true, "", "usb"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(completionMessage(language, "USB001", PortWhy::FirstUsb), outcome.message);
    expectInstalled(model, "USB001", language, profile);
    EXPECT_EQ("RK-520P,winspool,USB001", defaultPrinterValue().value_or("<none>"));
    // Windows' management of the default printer is off for the user.
    EXPECT_EQ(1u, legacyDefaultPrinterMode().value_or(0));
}

// A port chosen from the list after Search Port, without the default-printer
// box: the printer is on that port, the second row's too, although a USB
// printer is connected elsewhere; the message names the port, and the
// default printer is not touched.
TEST_F(Install, ExplicitPortFromSearch) {
    const Model& model = models()[4];
    ASSERT_TRUE(removeUsbPrinterInterfaces());
    ASSERT_TRUE(plantUsbPrinterInterface(L"A1", 1, true));
    const auto outcome = install({language, 4, false, "COM2:", "row1", "", 1});
    EXPECT_TRUE(removeUsbPrinterInterfaces());
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(completionMessage(language, "COM2:"), outcome.message);
    expectInstalled(model, "COM2:", language, profile);
    EXPECT_FALSE(defaultPrinterValue()) << *defaultPrinterValue();
    EXPECT_FALSE(legacyDefaultPrinterMode()) << *legacyDefaultPrinterMode();
}

// The edition follows the language chosen on the language page, not the
// system's: the other language than the locale's installs the other
// edition's files and says so in that language.
TEST_F(Install, EditionFollowsTheChosenLanguage) {
    const int chosen = language == kChinese ? kEnglish : kChinese;
    const Model& model = models()[3];
    const auto outcome = install({chosen, 3, true, "", ""});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(completionMessage(chosen, "USB001", PortWhy::FirstUsb), outcome.message);
    expectInstalled(model, "USB001", chosen, profile);
    EXPECT_EQ("RK-730PN,winspool,USB001", defaultPrinterValue().value_or("<none>"));
}

// Every model installs with the files of its edition. The runs alternate
// between the automatic and an explicit port and between with and without
// the default-printer box; the default printer is the last one asked for.
TEST_F(Install, EveryModel) {
    std::optional<std::string> expectedDefault;
    for (int row = 0; row < static_cast<int>(models().size()); ++row) {
        const Model& model = models()[static_cast<size_t>(row)];
        SCOPED_TRACE(model.name);
        const bool automatic = row % 2 == 0;
        const bool makeDefault = row % 3 != 1;
        const std::string port = automatic ? "USB001" : "LPT2:";
        const auto outcome = install({language, row, makeDefault, automatic ? "" : port, ""});
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(completionMessage(language, port, automatic ? PortWhy::FirstUsb : PortWhy::Chosen), outcome.message);
        expectInstalled(model, port, language, profile);
        if (makeDefault) expectedDefault = model.name + ",winspool," + port;
        EXPECT_EQ(expectedDefault, defaultPrinterValue());
    }
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_EQ(models().size(), printers->size());
}

// A second installation of a model whose printer exists updates the driver
// (its files are staged again) and moves the printer to the port picked;
// the wizard says so instead of announcing a plain success. The default
// printer names the port the printer is really on.
TEST_F(Install, SecondInstallationReportsTheExistingPrinter) {
    const Model& model = models()[1];
    auto outcome = install({language, 1, false, "", ""});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(completionMessage(language, "USB001", PortWhy::FirstUsb), outcome.message);
    expectPrinter(model, "USB001");

    const auto directory = driverDirectory(profile.environment);
    ASSERT_TRUE(directory);
    const std::wstring description = *directory + L"\\" + widen(model.description(language));
    ASSERT_TRUE(DeleteFileW(description.c_str())) << GetLastError();

    // A port picked after Search Port moves the printer there.
    outcome = install({language, 1, true, "LPT1:", "again"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(language == kChinese ? "打印机“RK-520PW”已存在：已更新其驱动，并从 USB001 移到 LPT1:。\n端口：LPT1:（从 USB001 移来）"
                                   : "The printer \"RK-520PW\" already existed: its driver was updated and it was moved "
                                     "from USB001 to LPT1:.\nPort: LPT1: (moved from USB001)",
              outcome.message);
    expectInstalled(model, "LPT1:", language, profile);
    EXPECT_EQ("RK-520PW,winspool,LPT1:", defaultPrinterValue().value_or("<none>"));
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_EQ(1u, printers->size());
}

// The same on the automatic path, which adjusts the spooler's entries of a
// printer being installed before the engine runs: the printer that exists on
// LPT1: must stay there, as the message says (Wine's spooler reads those
// entries at once, so a written candidate would move it to USB001).
TEST_F(Install, AutomaticRunKeepsTheExistingPrintersPort) {
    const Model& model = models()[0];
    auto outcome = install({language, 0, false, "LPT1:", ""});
    ASSERT_TRUE(outcome.finished);
    expectPrinter(model, "LPT1:");

    outcome = install({language, 0, false, "", "automatic-again"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(existingPrinterMessage(language, model.name, "LPT1:"), outcome.message);
    expectPrinter(model, "LPT1:");

    // A printer of the next model's name on this model's driver is not taken
    // for it: the message names both, says what to do and that the driver
    // is registered; the log is named last.
    std::wstring name = L"RK-520PW", port = L"LPT2:", driver = L"RK-520P", processor = L"WinPrint", raw = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pPortName = port.data();
    info.pDriverName = driver.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = raw.data();
    const HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ASSERT_NE(nullptr, printer) << GetLastError();
    ClosePrinter(printer);
    outcome = install({language, 1, false, "", "foreign"});
    ASSERT_TRUE(outcome.finished);
    const std::string told =
        language == kChinese
            ? "无法安装打印机“RK-520PW”：已有同名打印机，使用驱动“RK-520P”。\n驱动 RK-520PW 本身已注册。\n"
              "请在 Windows 的打印机设置中删除打印机“RK-520PW”，或运行 Kelp.exe /uninstall /model:RK-520PW，然后重新安装。\n日志："
            : "The printer \"RK-520PW\" could not be installed: a printer of this name exists and uses the driver "
              "\"RK-520P\".\nThe driver RK-520PW itself is registered.\nRemove the printer \"RK-520PW\" in Windows' "
              "printer settings, or run Kelp.exe /uninstall /model:RK-520PW, then install again.\nThe log: ";
    EXPECT_EQ(told, outcome.message.substr(0, told.size()));
    expectDriver(models()[1], language, profile);
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    const PrinterEntry* kept = findPrinter(*printers, "RK-520PW");
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ("RK-520P", kept->driver);
    EXPECT_EQ("LPT2:", kept->port);
}

// Without the current user's Windows key the default printer cannot be
// set; the printer is still created, and the message says that it was and
// which setting failed, with the Windows error and the system's text for it.
TEST_F(Install, MissingDefaultPrinterKeyIsReported) {
    const Model& model = models()[2];
    ASSERT_TRUE(deleteRegistryTree(HKEY_CURRENT_USER, kWindowsKey));
    const auto outcome = install({language, 2, true, "", "nokey"});
    // Again: the printer exists, and one message says so with the setting.
    const auto again = install({language, 2, true, "", "nokey-again"});
    EXPECT_TRUE(createRegistryKey(HKEY_CURRENT_USER, kWindowsKey));
    EXPECT_EQ(0u, again.message.rfind(language == kChinese
                                          ? "打印机“RK-730P”已存在：已更新其驱动，端口保持不变，但以下设置未能完成：\n无法设置默认打印机："
                                          : "The printer \"RK-730P\" already exists: its driver was updated and its port left "
                                            "as it was, but these settings could not be made:\nCould not make the printer "
                                            "the default printer: ",
                                      0)) << again.message;
    ASSERT_TRUE(outcome.finished);
    const std::string first = language == kChinese
                                  ? "打印机“RK-730P”已安装，但以下设置未能完成："
                                  : "The printer \"RK-730P\" was installed, but these settings could not be made:";
    const std::string step = language == kChinese ? "无法设置默认打印机：" : "Could not make the printer the default printer: ";
    // After the step, "(error 2: <the system's text>)" (full-width brackets
    // and colon in Chinese).
    const std::string open = language == kChinese ? "（错误 2：" : " (error 2: ";
    const std::string close = language == kChinese ? "）" : ")";
    const std::string& message = outcome.message;
    const size_t newline = message.find('\n');
    ASSERT_NE(std::string::npos, newline) << message;
    EXPECT_EQ(first, message.substr(0, newline));
    // The last line names the run's log.
    const size_t logLine = message.rfind('\n');
    ASSERT_LT(newline, logLine) << message;
    const std::string logText = message.substr(logLine + 1);
    EXPECT_EQ(0u, logText.rfind(language == kChinese ? "日志：" : "The log: ", 0)) << logText;
    EXPECT_EQ("\\Kelp.log", logText.substr(logText.size() - 9)) << logText;
    // Then the port line, then the log.
    const size_t portLine = message.find('\n', newline + 1);
    ASSERT_LT(portLine, logLine) << message;
    EXPECT_EQ(language == kChinese ? "端口：USB001（未找到已连接的 USB 打印机：第一个 USB 端口）"
                                   : "Port: USB001 (no connected USB printer was found: the first USB port)",
              message.substr(portLine + 1, logLine - portLine - 1));
    const std::string failure = message.substr(newline + 1, portLine - newline - 1);
    EXPECT_EQ(0u, failure.rfind(step, 0)) << failure;
    const size_t error = failure.find(open);
    ASSERT_NE(std::string::npos, error) << failure;
    ASSERT_LE(error + open.size() + close.size(), failure.size()) << failure;
    const std::string systemText = failure.substr(error + open.size(), failure.size() - error - open.size() - close.size());
    EXPECT_EQ(close, failure.substr(failure.size() - close.size())) << failure;
    EXPECT_LE(4u, systemText.size()) << "the system's text for error 2: '" << systemText << "'";
    expectPrinter(model, "USB001");
    expectDriver(model, language, profile);
    EXPECT_FALSE(defaultPrinterValue());
}

// An explicit row before any search: the reminder (English in both
// languages), Install disabled and nothing installed; Search Port enables
// Install again. Back asks for a new search on the next port page; Cancel
// does not, and a category row is then refused as a port.
TEST_F(Install, SearchReminderBeforeASearch) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, language);
    ASSERT_TRUE(settings);
    const std::string tag = languageTag(language);

    // The serial row twice: Back after the first reminder, Cancel after the
    // second. (The network row opens the network printer dialog instead.)
    for (int pass : {0, 1}) {
        SCOPED_TRACE("pass " + std::to_string(pass));
        const int row = 0;
        const HWND port = openPortPage(wizard, settings);
        ASSERT_TRUE(port);
        ASSERT_TRUE(selectListRow(port, 1021, row));
        ASSERT_EQ(std::vector<int>{row}, listSelection(port, 1021));
        ASSERT_TRUE(itemEnabled(port, 1022));
        ASSERT_TRUE(click(port, 1022));
        std::string text;
        ASSERT_TRUE(takeMessage(wizard, text, pass == 0 ? "reminder-" + tag : ""));
        EXPECT_EQ("Please click \"Search Port...\",then select port!", text);
        EXPECT_TRUE(waitUntil([&] { return !itemEnabled(port, 1022); })) << "Install stays enabled";
        EXPECT_EQ(port, wizard.find(Page::Port)) << "the port page stays open";
        if (pass == 0) shot(port, "install-disabled-" + tag);
        ASSERT_TRUE(click(port, 1012));
        EXPECT_TRUE(waitUntil([&] { return itemEnabled(port, 1022); })) << "Search Port enables Install";
        EXPECT_LT(3, listRowCount(port, 1021)) << "ports listed";
        ASSERT_TRUE(click(port, pass == 0 ? 1010 : 1023));  // Back, then Cancel
        ASSERT_TRUE(wizard.waitGone(port));
        EXPECT_EQ(settings, wizard.find(Page::Settings));
    }

    // After Cancel the search still counts: the category row 0 reaches the
    // port check, which refuses its label.
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);
    ASSERT_TRUE(selectListRow(port, 1021, 0));
    ASSERT_TRUE(click(port, 1022));
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "no-port-" + tag));
    EXPECT_EQ(language == kChinese ? "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。"
                                   : "There is no port to install the printer on. Please click \"Search Port...\", "
                                     "then select a port.",
              text);
    EXPECT_EQ(port, wizard.find(Page::Port)) << "the port page stays open";
    EXPECT_TRUE(itemEnabled(port, 1022));
    ASSERT_TRUE(click(port, 1023));
    ASSERT_TRUE(wizard.waitGone(port));
    ASSERT_TRUE(click(settings, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_TRUE(printers->empty());
}

// While another run holds the lock, Install says so and the page stays as it
// was, so the same click installs once the other run is over. Without a USB
// port the automatic choice moves the selection to the serial row; taken
// before the lock, it turned the retry into the search reminder.
TEST_F(Install, BusyRunThenRetryOnThePortPage) {
    const std::wstring serialKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    ASSERT_TRUE(deleteRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, L"USB001"));
    ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, serialKey, L"\\Device\\KelpSerial", L"COM1"));
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\Kelp.Installation");
    ASSERT_NE(nullptr, mutex);
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, language);
    ASSERT_TRUE(settings);
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);
    ASSERT_TRUE(click(port, 1022));
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "busy-" + std::string(languageTag(language))));
    EXPECT_EQ(language == kChinese ? "另一个 Kelp 安装、删除或测试打印正在进行，本次未做任何更改。请稍后再试。"
                                   : "Another Kelp installation, removal or test receipt is running; nothing was "
                                     "changed. Please try again later.",
              text);
    EXPECT_EQ(std::vector<int>{1}, listSelection(port, 1021));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    ASSERT_TRUE(click(port, 1022));
    ASSERT_TRUE(takeMessage(wizard, text));
    EXPECT_EQ(completionMessage(language, "COM1:", PortWhy::FirstSerial), text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    deleteRegistryValue(HKEY_LOCAL_MACHINE, serialKey, L"\\Device\\KelpSerial");
    expectPrinter(models()[0], "COM1:");
}

// The 64-bit profile stages the common files of the x64 folder and the
// model's files of the x86 folder into the x64 driver directory and
// registers the driver for "Windows x64". Wine then cannot create the
// printer; the wizard names the failure and the printer instead of
// announcing success, and goes no further (no default printer).
TEST_F(Install64, DriverRegisteredAndFailedPrinterReported) {
    const Model& model = models()[3];
    const auto outcome = install({language, 3, true, "", "x64"});
    ASSERT_TRUE(outcome.finished);
    const std::string failed = language == kChinese ? "无法创建打印机：" : "Could not create the printer ";
    EXPECT_EQ(0u, outcome.message.rfind(failurePrefix(language), 0)) << outcome.message;
    EXPECT_NE(std::string::npos, outcome.message.find(failed + model.name)) << outcome.message;
    EXPECT_EQ(std::string::npos, outcome.message.find(language == kChinese ? "驱动安装完成" : "Driver installation completed"))
        << outcome.message;

    expectDriver(model, language, profile);
    expectStagedFiles(model, language, profile);
    const auto x86 = spoolerDrivers(L"Windows NT x86");
    ASSERT_TRUE(x86);
    EXPECT_EQ(nullptr, findDriver(*x86, model.name)) << "registered for Windows NT x86 too";
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_EQ(nullptr, findPrinter(*printers, model.name));
    EXPECT_FALSE(defaultPrinterValue()) << *defaultPrinterValue();
}
