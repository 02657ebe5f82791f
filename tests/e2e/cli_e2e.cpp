// The command line under Wine, as an administrator runs it: Kelp.exe is
// started with arguments from another folder (System32, as a startup script
// is), this program waits for it and reads its whole exit code with
// GetExitCodeProcess (wine itself passes on only the low 8 bits).
//
// CommandLine.*   a 32-bit prefix with the port USB001.
// CommandLine64.* a 64-bit prefix: Wine refuses the printer on a "Windows
//                 x64" driver, and the run must end 1603 naming that step.
// The language of the run is the scenario's: /lang:zh under zh_CN, /lang:en
// under en_US.

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "Flows.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::wstring kLog = L"C:\\kelp-cli.log";
const wchar_t kReceiptPort[] = L"C:\\receipt.prn";

// desktop: "station\\desktop" to start it on, else this program's.
HANDLE startKelp(const std::wstring& arguments, std::wstring desktop = {}) {
    const HANDLE process = startProgram(Scenario::current().kelpPath(), arguments, std::move(desktop));
    if (!process) ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return process;
}

long long runKelp(const std::wstring& arguments) { return waitForExit(startKelp(arguments), 3 * kWait); }

class CommandLineTest : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = scenario.chineseSystem() ? kChinese : kEnglish;
    const std::wstring lang = language == kChinese ? L"/lang:zh" : L"/lang:en";
    const Profile profile = profileFor(scenario);

    void SetUp() override {
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        ASSERT_TRUE(resetMachine());
        removeFile(kLog);
    }
    std::string log() const { return readFile(kLog); }
    std::string printersAndDrivers() const {
        std::string state;
        for (const auto& p : spoolerPrinters().value_or(std::vector<PrinterEntry>{})) state += p.name + "@" + p.port + ";";
        for (const auto& d : spoolerDrivers(profile.environment).value_or(std::vector<DriverEntry>{})) state += d.name + ";";
        return state;
    }
};

class CommandLine : public CommandLineTest {
protected:
    void SetUp() override {
        if (scenario.win64()) GTEST_SKIP() << "needs a 32-bit prefix";
        CommandLineTest::SetUp();
    }
};

class CommandLine64 : public CommandLineTest {
protected:
    void SetUp() override {
        if (!scenario.win64()) GTEST_SKIP() << "needs a 64-bit prefix";
        CommandLineTest::SetUp();
    }
};

}  // namespace

// Install, install again, a test receipt to a file port, removal.
TEST_F(CommandLine, InstallTwiceTestReceiptAndRemove) {
    const Model& model = models()[2];  // RK-730P
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P " + lang + L" /default /quiet /log:" + kLog)) << log();
    expectInstalled(model, "USB001", language, profile);
    EXPECT_EQ("RK-730P,winspool,USB001", defaultPrinterValue().value_or("(none)"));
    for (const char* step : {"take mutex \"Global\\Kelp.Installation\": 0", "GetPrinterDriverDirectory",
                             "step CopyFile \"C:\\package\\Printer Driver\\x86\\", "step AddPrinterDriver \"RK-730P\"",
                             "step AddPrinter \"RK-730P\" on port \"USB001\"", "\"Device\" = \"RK-730P,winspool,USB001\": 0",
                             "step ClosePrinter", "outcome 0", "\"LegacyDefaultPrinterMode\" = 1: 0",
                             "step SendMessageTimeout WM_SETTINGCHANGE \"windows\" to all windows (at most 1000 ms each): 0"})
        EXPECT_NE(std::string::npos, log().find(step)) << step << "\n" << log();
    EXPECT_EQ(1u, legacyDefaultPrinterMode().value_or(0));

    // Named, another port is the printer's port, and Device follows it.
    EXPECT_EQ(0, runKelp(L"/install /model:rk-730p " + lang + L" /port:LPT1: /quiet /log:" + kLog)) << log();
    expectPrinter(model, "LPT1:");
    EXPECT_EQ("RK-730P,winspool,LPT1:", defaultPrinterValue().value_or("(none)"));

    ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, kReceiptPort, L""));
    removeFile(kReceiptPort);
    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P " + lang + L" /port:C:\\receipt.prn /quiet")) << log();
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-520P /quiet /log:" + kLog)) << log();
    EXPECT_NE(std::string::npos, log().find("step GetJob 1: 87")) << log();  // followed until it left the queue
    expectTestReceipt([] { return readFile(kReceiptPort); }, "RK-520P", "C:\\receipt.prn", language);
    // /drawer on a printer that cannot be asked: the kick goes as a job of
    // its own (Wine's port writes it over the file's start without cutting it).
    const std::string kick("\x1bp\x01\x19\xfa", 5);
    const auto kicked = [&] { return readFile(kReceiptPort).substr(0, 5) == kick; };
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-520P /drawer:5 /quiet /log:" + kLog)) << log();
    waitUntil(kicked);
    EXPECT_TRUE(kicked()) << readFile(kReceiptPort);
    EXPECT_NE(std::string::npos,
              log().find(language == kChinese
                             ? "开钱箱信号（引脚 5）已作为打印任务发送到 RK-520P（C:\\receipt.prn）：请查看钱箱是否已打开。\r\n"
                             : "The kick (pin 5) was sent to RK-520P (C:\\receipt.prn) as a job of its own: look at the drawer.\r\n"))
        << log();

    EXPECT_EQ(0, runKelp(L"/uninstall /model:RK-730P /quiet /log:" + kLog)) << log();
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_EQ(nullptr, findPrinter(*printers, "RK-730P"));
    EXPECT_NE(nullptr, findPrinter(*printers, "RK-520P"));
    EXPECT_EQ(nullptr, findDriver(spoolerDrivers(profile.environment).value(), "RK-730P"));
    EXPECT_NE(0u, defaultPrinterValue().value_or("").rfind("RK-730P,", 0));
    EXPECT_EQ(0, runKelp(L"/uninstall /model:RK-730P /quiet /log:" + kLog)) << log();
}

TEST_F(CommandLine, WrongLinesEnd87AndChangeNothing) {
    const std::string before = printersAndDrivers();
    EXPECT_EQ(87, runKelp(L"/install /model:RK-999 " + lang + L" /quiet /log:" + kLog));
    EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /port:NOPORT9 /quiet /log:" + kLog));
    EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /lang:fr /quiet"));
    // A log path without its drive, and a quoted one ending in a backslash,
    // which arrives with the rest of the line in it.
    EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /log:kelp-relative.log /quiet"));
    EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /log:\"C:\\x\\\" /quiet"));
    EXPECT_EQ("", readFile(L"C:\\windows\\system32\\kelp-relative.log"));
    // A log no run writes: a .cmd, one in a missing folder, a pipe, and one
    // through a folder link (C:\linked: a Unix symbolic link to system32,
    // as a junction would be on Windows). Nothing is made.
    for (const wchar_t* path : {L"C:\\kelp-run.cmd", L"C:\\no-such-folder\\kelp.log", L"\\\\.\\pipe\\kelp.log",
                                L"C:\\linked\\kelp-planted.log"}) {
        EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /quiet \"/log:" + std::wstring(path) + L"\"")) << utf8(path);
    }
    for (const wchar_t* made : {L"C:\\kelp-run.cmd", L"C:\\no-such-folder", L"C:\\windows\\system32\\kelp-planted.log"})
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(made)) << utf8(made);
    EXPECT_EQ(before, printersAndDrivers());
    const std::string reason = language == kChinese ? "命令行错误：未知的型号“RK-999”" : "Wrong command line: unknown model \"RK-999\"";
    EXPECT_NE(std::string::npos, log().find(reason)) << log();
    EXPECT_NE(std::string::npos, log().find("NOPORT9")) << log();
}

// Two installations at once: one runs, the other waits for nothing and ends
// 1618, or they run one after the other; never a failure, one printer.
TEST_F(CommandLine, TwoInstallsAtOnce) {
    const std::wstring line = L"/install /model:RK-730P " + lang + L" /quiet /log:" + kLog;
    HANDLE first = startKelp(line);
    HANDLE second = startKelp(line);
    std::vector<long long> codes = {waitForExit(first, 3 * kWait), waitForExit(second, 3 * kWait)};
    std::sort(codes.begin(), codes.end());
    EXPECT_TRUE(codes == std::vector<long long>({0, 0}) || codes == std::vector<long long>({0, 1618}))
        << codes[0] << " " << codes[1] << "\n" << log();
    const auto printers = spoolerPrinters();
    ASSERT_TRUE(printers);
    EXPECT_EQ(1, std::count_if(printers->begin(), printers->end(), [](const PrinterEntry& p) { return p.name == "RK-730P"; }));
}

TEST_F(CommandLine64, InstallEnds1603NamingTheRefusedStep) {
    EXPECT_EQ(1603, runKelp(L"/install /model:RK-730P " + lang + L" /quiet /log:" + kLog)) << log();
    EXPECT_NE(std::string::npos, log().find("step AddPrinterDriver \"RK-730P\" \"Windows x64\"")) << log();
    EXPECT_NE(std::string::npos, log().find("step AddPrinter \"RK-730P\" on port \"USB001\" driver \"RK-730P\": 1797"))
        << log();
    EXPECT_NE(std::string::npos, log().find("outcome 1603"));
}

// While another run holds the mutex (this program, here) an install ends at
// once with 1618 and changes nothing.
TEST_F(CommandLine, HeldMutexEnds1618) {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\Kelp.Installation");
    ASSERT_NE(nullptr, mutex);
    const std::string before = printersAndDrivers();
    EXPECT_EQ(1618, runKelp(L"/install /model:RK-730P " + lang + L" /quiet /log:" + kLog));
    EXPECT_EQ(before, printersAndDrivers());
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    EXPECT_NE(std::string::npos, log().find("outcome 1618")) << log();
    // Wine cannot make the private namespace: the global mutex is the lock.
    EXPECT_NE(std::string::npos, log().find("no private namespace for the lock")) << log();
}

// A hard link planted at the default log's name is left alone: the file it
// names keeps its bytes, and the run writes a new log beside it.
TEST_F(CommandLine, HardLinkAtTheDefaultLogIsLeft) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_TRUE(length > 0 && length <= MAX_PATH);
    const std::wstring folder(temp, length);
    const std::wstring target = L"C:\\kelp-victim.txt";
    const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "victim\r\n", 8, &written, nullptr);
    CloseHandle(file);
    removeFile(folder + L"Kelp.log");
    ASSERT_TRUE(CreateHardLinkW((folder + L"Kelp.log").c_str(), target.c_str(), nullptr)) << GetLastError();

    EXPECT_EQ(0, runKelp(L"/list"));
    EXPECT_EQ("victim\r\n", readFile(target));
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"Kelp-*.log").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    const std::string text = readFile(folder + found.cFileName);
    EXPECT_NE(std::string::npos, text.find(language == kChinese ? "Kelp.log”：它有 2 个名称（硬链接）"
                                                                : "Kelp.log\" was not written: it has 2 names (hard links)"))
        << text;
    EXPECT_NE(std::string::npos, text.find("outcome 0")) << text;
    removeFile(folder + found.cFileName);
    removeFile(folder + L"Kelp.log");
    removeFile(target);
}

// The wizard's installation writes the same log, in the temporary folder.
TEST_F(CommandLine, WizardLogsItsSteps) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_TRUE(length > 0 && length <= MAX_PATH);
    const std::wstring path = std::wstring(temp, length) + L"Kelp.log";
    removeFile(path);
    ASSERT_TRUE(install({language, 2, false, "", ""}).finished);
    const std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("Kelp 4.0 wizard (user ")) << text;
    EXPECT_NE(std::string::npos, text.find("step AddPrinter \"RK-730P\" on port \"USB001\" driver \"RK-730P\": 0")) << text;
    EXPECT_NE(std::string::npos, text.find(" install RK-730P, ")) << text;
    EXPECT_NE(std::string::npos, text.find(" outcome: installed\r\n")) << text;
}

// On a window station of its own, which nobody sees (a service's, session
// 0's), the wizard shows no page: it ends 1603 and its log says to use the
// command line.
TEST_F(CommandLine, NoPageOnAWindowStationNobodySees) {
    const HWINSTA own = GetProcessWindowStation();
    const HWINSTA hidden = CreateWindowStationW(L"KelpHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    ASSERT_TRUE(hidden) << GetLastError();
    ASSERT_TRUE(SetProcessWindowStation(hidden)) << GetLastError();
    const HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    ASSERT_TRUE(desktop) << GetLastError();
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring path = std::wstring(temp, length) + L"Kelp.log";
    removeFile(path);
    EXPECT_EQ(1603, waitForExit(startKelp(L"", L"KelpHidden\\Default"), 3 * kWait));
    EXPECT_NE(std::string::npos, readFile(path).find("no visible window station")) << readFile(path);
    CloseDesktop(desktop);
    CloseWindowStation(hidden);
}

// USB printer interfaces planted as Windows records them: USB001's printer
// unplugged, USB002's and USB003's connected. The automatic choice takes a
// connected printer's port, the wizard's USB row as the command line; a
// named port moves the printer; a test receipt to a folder that is not
// there ends 1603 naming the step.
TEST_F(CommandLine, ConnectedUsbPrinterNamedPortAndFailedReceipt) {
    const std::wstring quiet = L" " + lang + L" /quiet /log:" + kLog;
    ASSERT_TRUE(removeUsbPrinterInterfaces());
    for (const wchar_t* port : {L"USB002", L"USB003"}) ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, port, L""));
    ASSERT_TRUE(plantUsbPrinterInterface(L"A1", 1, false));
    ASSERT_TRUE(plantUsbPrinterInterface(L"B2", 2, true));
    ASSERT_TRUE(plantUsbPrinterInterface(L"C3", 3, true));

    ASSERT_TRUE(install({language, 0, false, "", ""}).finished);
    expectPrinter(models()[0], "USB002");
    // Search Port marks the ports with a printer connected.
    const char* connected = language == kChinese ? "本地端口（已连接）" : "Local Port (connected)";
    ASSERT_TRUE(install({language, 1, false, "USB003", "usb", connected}).finished);
    expectPrinter(models()[1], "USB003");
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P" + quiet)) << log();
    expectPrinter(models()[2], "USB002");
    // Wine has no USB printing driver: the printers' ids come from their
    // device nodes' hardware ids (one of the seven, one not; none for A1).
    ASSERT_TRUE(plantUsbPrinterNode(L"B2", L"USBPRINT\\VexoMZ730P1A2B"));
    ASSERT_TRUE(plantUsbPrinterNode(L"C3", L"USBPRINT\\EpsonTM-T20II3F1C"));
    ASSERT_EQ(0, runKelp(L"/list /log:" + kLog));
    ASSERT_TRUE(removeUsbPrinterNodes());
    for (const char* line : {"USB port USB001: not connected, USB\\VID_5A5A&PID_0730\\A1",
                             "USB port USB002: connected, USB\\VID_5A5A&PID_0730\\B2",
                             "automatic port USB002: the first of several connected USB printers",
                             "port\tUSB001\tUSB\tnot connected\r\n", "port\tUSB002\tUSB\tconnected\t\tMZ730P\r\n",
                             "port\tUSB003\tUSB\tconnected\t\tEpsonTM-T20II\r\n"})
        EXPECT_NE(std::string::npos, log().find(line)) << line << "\n" << log();

    ASSERT_TRUE(plantUsbPrinterInterface(L"B2", 2, false));
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730PN" + quiet)) << log();
    expectPrinter(models()[3], "USB003");
    EXPECT_NE(std::string::npos, log().find("automatic port USB003: the only USB port with a connected printer")) << log();
    ASSERT_TRUE(plantUsbPrinterInterface(L"C3", 3, false));
    ASSERT_EQ(0, runKelp(L"/install /model:MZ730P" + quiet)) << log();
    expectPrinter(models()[5], "USB001");

    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /port:COM2:" + quiet)) << log();
    expectPrinter(models()[2], "COM2:");
    EXPECT_NE(std::string::npos, log().find("step SetPrinter \"RK-730P\" port \"COM2:\": 0")) << log();

    // Both printers' cables now in the third socket: a printer on a USB port
    // with nothing attached moves to it, through either door; a port picked
    // after Search Port moves the printer there.
    ASSERT_TRUE(plantUsbPrinterInterface(L"C3", 3, true));
    const InstallOutcome replugged = install({language, 0, false, "", ""});
    ASSERT_TRUE(replugged.finished);
    expectPrinter(models()[0], "USB003");
    EXPECT_NE(std::string::npos, replugged.message.find(language == kChinese ? "端口：USB003（从 USB002 移来）"
                                                                             : "Port: USB003 (moved from USB002)"))
        << replugged.message;
    ASSERT_EQ(0, runKelp(L"/install /model:MZ730P" + quiet)) << log();
    expectPrinter(models()[5], "USB003");
    const InstallOutcome picked = install({language, 2, false, "COM1:", ""});
    ASSERT_TRUE(picked.finished);
    expectPrinter(models()[2], "COM1:");
    EXPECT_NE(std::string::npos, picked.message.find(language == kChinese ? "端口：COM1:（从 COM2: 移来）"
                                                                          : "Port: COM1: (moved from COM2:)"))
        << picked.message;

    const wchar_t missing[] = L"C:\\no-such-folder\\receipt.prn";
    ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, missing, L""));
    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /port:" + std::wstring(missing) + quiet)) << log();
    EXPECT_EQ(1603, runKelp(L"/testprint /model:RK-520P /wait:5 /quiet /log:" + kLog)) << log();
    EXPECT_NE(std::string::npos, log().find(language == kChinese ? "测试小票未能打印：EndDocPrinter 失败"
                                                                 : "The test receipt was not printed: EndDocPrinter failed"))
        << log();
    ASSERT_TRUE(removeUsbPrinterInterfaces());
}

// A driver record may name a file outside the driver directory. Wine's
// spooler refuses to delete unused files, so Kelp deletes the record's files
// itself: the ones inside the directory go, the planted victim stays.
TEST_F(CommandLine, UninstallLeavesFilesOutsideTheDriverDirectory) {
    const auto directory = driverDirectory(profile.environment);
    ASSERT_TRUE(directory);
    const std::wstring victim = *directory + L"\\..\\victim.dll", own = *directory + L"\\own.dll";
    for (const auto& path : {victim, own}) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    std::wstring name = L"RK-520P", environment = profile.environment, driverPath = *directory + L"\\own.dll";
    std::wstring dependent = std::wstring(L"..\\..\\victim.dll") + L'\0' + L"own.dll" + L'\0' + L'\0';
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = name.data();
    info.pEnvironment = environment.data();
    info.pDriverPath = info.pDataFile = info.pConfigFile = driverPath.data();
    info.pDependentFiles = dependent.data();
    ASSERT_TRUE(AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&info))) << GetLastError();
    // Wine's AddPrinterDriver keeps only the base names it is given; the
    // entry is written into the record afterwards, as a spooler that keeps
    // paths would hold it (Wine reports it as "w32x86\3\..\..\victim.dll").
    const std::wstring record = L"System\\CurrentControlSet\\Control\\Print\\Environments\\" + environment +
                                L"\\Drivers\\Version-3\\RK-520P";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, record.c_str(), 0, KEY_SET_VALUE, &key));
    RegSetValueExW(key, L"Dependent Files", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(dependent.data()),
                   static_cast<DWORD>(dependent.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    EXPECT_EQ(0, runKelp(L"/uninstall /model:RK-520P /quiet /log:" + kLog)) << log();
    EXPECT_TRUE(fileExists(victim));
    EXPECT_FALSE(fileExists(own));
    EXPECT_NE(std::string::npos, log().find("..\\victim.dll\": not in the driver directory")) << log();
    removeFile(victim);
}
