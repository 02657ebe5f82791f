#include "install/Wording.h"

#include <algorithm>
#include <iterator>

#include "install/Names.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

// ---- The catalogue: every text, in both languages -------------------------

// Runs. %1 the log's path, %2 the printer's address.
constexpr Bilingual kAnotherRun = {
    "另一个 Kelp 安装、删除或测试打印正在进行，本次未做任何更改。请稍后再试。",
    "Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later."};
constexpr Bilingual kLogLine = {"\n日志：%1", "\nThe log: %1"};
// Why a file at the log's name is not written, in the order of LogProblem
// from IsLink; %1 the count of names or the error.
constexpr Bilingual kLogProblems[] = {
    {"它是一个链接", "it is a link"},
    {"它有 %1 个名称（硬链接）", "it has %1 names (hard links)"},
    {"它属于其他帐户", "another account owns it"},
    {"路径中的文件夹是链接或交接点", "a folder on its way is a link or a junction"},
    {"另一个程序正在使用它", "another program has it open"},
    {"它所在的文件夹不存在", "its folder does not exist"},
    {"无法打开它（错误 %1）", "it cannot be opened (error %1)"},
};
// The refusal of a /log path (%1) and the notice of a log not written, with
// why (%2); then no log, or the log beside it (%1).
constexpr Bilingual kLogRefused = {"/log“%1”：%2", "/log \"%1\": %2"};
constexpr Bilingual kLogNotWritten = {"未写入日志“%1”：%2", "The log \"%1\" was not written: %2"};
constexpr Bilingual kNoLog = {"。本次运行不保存日志。", ". This run keeps no log."};
constexpr Bilingual kLogBeside = {"。本次运行的日志：%1", ". This run's log: %1"};
constexpr Bilingual kNoTemporaryFolder = {"系统未指定存放日志的临时文件夹。本次运行不保存日志。",
                                          "The system names no temporary folder for the log. This run keeps no log."};
constexpr Bilingual kAskingPrinter = {"正在询问打印机 %1 ……", "Asking the printer at %1 ..."};
constexpr Bilingual kAskingSerialPrinter = {"正在询问打印机 %1 ……", "Asking the printer on %1 ..."};

// Printers' states, in the order of PrinterState.
constexpr Bilingual kStates[] = {
    {"就绪", "ready"},
    {"纸将用尽", "paper near its end"},
    {"缺纸", "paper out"},
    {"上盖打开", "cover open"},
    {"脱机", "offline"},
    {"切刀或其他错误", "cutter or other error"},
    {"可连接，但不报告状态", "answers without status (state unknown)"},
    {"该地址上没有程序接收打印数据（连接被拒绝）", "nothing listens there (connection refused)"},
    {"无应答", "no answer"},
    {"不是小票打印机（应答的不是打印机状态）", "no receipt printer (it answers with something else than a status)"},
    {"端口无法打开", "the port does not open"},
};
// %1 the state, %2 the advice.
constexpr Bilingual kStateAdvice = {"%1，%2", "%1: %2"};
constexpr Bilingual kPutRight = {"排除后即可打印", "it will print once that is put right"};
constexpr Bilingual kCheckOnCableAddress = {"请检查打印机是否已开机、连接线或网络连接以及地址",
                                            "check that it is on, its cable or network connection, and its address"};
constexpr Bilingual kSomethingElseThere = {"该地址上是其他设备：请检查地址和 TCP 端口",
                                           "something else is at that address: check the address and the TCP port"};
constexpr Bilingual kCheckTheAddress = {"请检查地址（打印机自检页上有）",
                                        "check the address (the printer's self-test page shows it)"};
constexpr Bilingual kPortHeld = {"可能有其他程序（如收银软件）正在使用它，或该端口不存在",
                                 "another program (the till's software) may hold it, or the port does not exist"};

// Addresses, in the order of AddressProblem.
constexpr Bilingual kAddressProblems[] = {
    {"", ""},
    {"请输入打印机的地址。", "Enter the printer's address."},
    {"地址太长：主机名最多 48 个字符。", "The address is too long: a host name has at most 48 characters."},
    {"地址中只能有字母、数字、“-”和“.”，不能有空格或其他字符。",
     "An address holds only letters, digits, '-' and '.', no blank or other character."},
    {"IPv4 地址的每个数字都不能大于 255。", "No number of an IPv4 address is over 255."},
    {"TCP 端口不能为 0。", "The TCP port cannot be 0."},
    {"TCP 端口不能大于 65535。", "The TCP port cannot be over 65535."},
    {"冒号后的 TCP 端口必须是数字。", "The TCP port after the colon must be a number."},
    {"不支持 IPv6 地址，请使用打印机的主机名。", "IPv6 addresses are not supported: use the printer's host name."},
    {"这不是有效的 IPv4 地址或主机名。", "This is no IPv4 address (four numbers with dots) and no host name."},
    {"该地址不能是打印机的地址：0.x.x.x、组播地址和保留地址（224.0.0.0 及以上）都不可用。",
     "No printer has this address: 0.x.x.x, multicast and reserved addresses (224.0.0.0 and above) cannot be used."},
    {"地址中只能有一个冒号，放在 TCP 端口之前。", "An address has one colon at most, before its TCP port."},
    {"这像是输错的 IPv4 地址：IPv4 地址是用点分隔的四个数字，主机名的最后一段以字母开头。",
     "This looks like a mistyped IPv4 address: an address is four numbers with dots, and a host name's last part "
     "begins with a letter."},
    {"该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。",
     "No printer has this address: it is the network or broadcast address of one of this computer's networks."},
};
constexpr Bilingual kBadAddress = {"打印机地址无效：", "The printer's address is not valid. "};
// %1 the address, %2 the error with the system's text.
constexpr Bilingual kNoMonitor = {"此系统没有“Standard TCP/IP Port”端口监视器，无法为 %1 创建端口。",
                                  "This system has no \"Standard TCP/IP Port\" monitor: no port can be made for %1."};
constexpr Bilingual kNoPortList = {"无法读取系统的端口监视器或端口（错误 %2）。",
                                   "The system's port monitors or ports cannot be read (error %2)."};
constexpr Bilingual kPortNotMade = {"无法创建指向 %1 的端口（错误 %2）。", "The port for %1 could not be made (error %2)."};
constexpr Bilingual kNoPortName = {"没有可用于 %1 的端口名。", "There is no free port name for %1."};
// %3 the port whose settings cannot be read.
constexpr Bilingual kPortSettingsUnreadable = {
    "无法读取端口 %3 的设置（错误 %2）；它可能就是 %1 的端口，因此不再为该地址创建新端口。",
    "The settings of the port %3 cannot be read (error %2); it may be the port for %1, so no other port is made "
    "for it."};
// %1 the host name, %2 the error.
constexpr Bilingual kNameNotFound = {
    "现在在此网络上找不到主机名 %1（错误 %2），未做任何更改。请检查名称的拼写；若打印机的名称稍后才登记到网络中，可加 /force 仍然安装。",
    "The host name %1 cannot be found on this network now (error %2); nothing was changed. Check its spelling; if the "
    "printer's name will be registered on the network later, add /force to install it anyway."};
constexpr Bilingual kNameNotFoundYet = {"现在在此网络上找不到它的名称（名称登记后即可打印）",
                                        "its name cannot be found on this network now (it will print once the name is registered)"};
constexpr Bilingual kHostSwitch = {"/host：%1", "/host: %1"};
constexpr Bilingual kInstallAnyway = {
    "现在在此网络上找不到主机名 %1（错误 %2）。请检查名称是否拼写正确。\n"
    "打印机的名称也可能稍后才登记到网络中。仍要安装吗？",
    "The host name %1 cannot be found on this network now (error %2). Check its spelling.\n"
    "The printer's name may also be registered on the network later. Install it anyway?"};
// %1 the host name, %2 the address it stands for.
constexpr Bilingual kStandsFor = {"主机名 %1 对应的地址是 %2。", "The host name %1 stands for %2. "};
// %1 the error.
constexpr Bilingual kAdaptersUnreadable = {"无法读取本机的网络适配器（错误 %1）。",
                                           "The computer's network adapters cannot be read (error %1)."};
constexpr Bilingual kSearchFailed = {
    "本机的网络功能出错（错误 %1），查找未完成：未列出的地址上也可能有打印机。",
    "This computer's network failed (error %1) and the search is incomplete: an address not listed may still "
    "have a printer."};
constexpr Bilingual kSearching = {"正在查找打印机...", "Looking for printers..."};
constexpr Bilingual kNoNetwork = {"本机没有已连接的网络可供查找。请直接输入打印机的地址。",
                                  "This computer has no connected network to search. Please type the printer's address."};
constexpr Bilingual kNoneFound = {
    "未找到打印机。请确认打印机已开机并已连接到网络，或直接输入它的地址。",
    "No printer was found. Check that the printer is on and connected to the network, or type its address."};
constexpr Bilingual kNoneAnswered = {"没有小票打印机回答状态询问。点击一行即可填入它的地址。",
                                     "No receipt printer answered. Click a row to fill in its address."};
constexpr Bilingual kCancelled = {"查找已取消。", "The search was cancelled."};
constexpr Bilingual kPickOne = {"点击一台打印机即可填入它的地址。", "Click a printer to fill in its address."};
// %1 the number found.
constexpr Bilingual kFoundOne = {"找到 %1 台打印机。", "Found %1 printer."};
constexpr Bilingual kFoundMany = {"找到 %1 台打印机。", "Found %1 printers."};

// Ports: why the printer is on its port.
constexpr Bilingual kOnlyConnected = {"唯一连接了打印机的 USB 端口", "the only USB port with a connected printer"};
constexpr Bilingual kIdentifiesAsModel = {"已连接且型号为 %1 的打印机", "the connected printer that identifies as %1"};
constexpr Bilingual kFirstConnected = {"多台已连接 USB 打印机中的第一台", "the first of several connected USB printers"};
constexpr Bilingual kFirstUsbPort = {"未找到已连接的 USB 打印机：第一个 USB 端口",
                                     "no connected USB printer was found: the first USB port"};
constexpr Bilingual kFirstSerialPort = {"没有 USB 端口：第一个串行端口", "no USB port: the first serial port"};
constexpr Bilingual kFirstParallelPort = {"没有 USB 端口和串行端口：第一个并行端口",
                                          "no USB or serial port: the first parallel port"};
constexpr Bilingual kFirstPortOfItsKind = {"没有已连接的 USB 打印机：同类端口中的第一个",
                                           "no USB printer is connected: the first port of its kind"};
constexpr Bilingual kSpoolerOnline = {"没有已连接的 USB 打印机：打印后台程序报告打印机联机的端口",
                                      "no USB printer is connected: the port the spooler reported the printer online on"};
constexpr Bilingual kMovedFrom = {"从 %1 移来", "moved from %1"};
constexpr Bilingual kOwnPortKept = {"打印机原有的端口，保持不变", "the printer's own port, kept"};
// %1 the port, %2 why.
constexpr Bilingual kPortLine = {"端口：%1", "Port: %1"};
constexpr Bilingual kPortLineWhy = {"端口：%1（%2）", "Port: %1 (%2)"};
constexpr Bilingual kUsbConnected = {"（已连接）", " (connected)"};
constexpr Bilingual kUsbUnknown = {"（状态未知）", " (state unknown)"};

// The installation's report. %1 the printer, %2 and %3 the ports.
constexpr Bilingual kCompleted = {"驱动安装完成", "Driver installation completed"};
constexpr Bilingual kExistingKept = {"打印机“%1”已存在：已更新其驱动，端口保持不变",
                                     "The printer \"%1\" already exists: its driver was updated and its port left as it was"};
constexpr Bilingual kExistingMoved = {
    "打印机“%1”已存在：已更新其驱动，并从 %2 移到 %3",
    "The printer \"%1\" already existed: its driver was updated and it was moved from %2 to %3"};
constexpr Bilingual kSettingsFailedAfter = {"，但以下设置未能完成：", ", but these settings could not be made:"};
constexpr Bilingual kInstalledSettingsFailed = {"打印机“%1”已安装，但以下设置未能完成：",
                                                "The printer \"%1\" was installed, but these settings could not be made:"};
constexpr Bilingual kDriverFailed = {"驱动安装失败：", "Driver installation failed:"};
constexpr Bilingual kFullStop = {"。", "."};
// %1 the printer, %2 the other driver, %3 the command that removes the printer.
constexpr Bilingual kForeignDriver = {
    "无法安装打印机“%1”：已有同名打印机，使用驱动“%2”。\n驱动 %1 本身已注册。\n"
    "请在 Windows 的打印机设置中删除打印机“%1”，或运行 %3，然后重新安装。",
    "The printer \"%1\" could not be installed: a printer of this name exists and uses the driver \"%2\".\n"
    "The driver %1 itself is registered.\n"
    "Remove the printer \"%1\" in Windows' printer settings, or run %3, then install again."};
// A failed step's line: the step's name, its subject, then its error.
struct StepText {
    InstallStep step;
    Bilingual text;
};
constexpr StepText kStepTexts[] = {
    {InstallStep::Choices, {"无效的选择：", "Invalid choice: "}},
    {InstallStep::DriverDirectory, {"无法获取打印机驱动目录：", "Could not get the printer driver directory for "}},
    {InstallStep::CopyFile, {"无法复制文件：", "Could not copy the file "}},
    {InstallStep::AddPrinterDriver, {"无法安装打印机驱动：", "Could not install the printer driver "}},
    {InstallStep::AddPrinter, {"无法创建打印机：", "Could not create the printer "}},
    {InstallStep::DefaultPrinter, {"无法设置默认打印机：", "Could not make the printer the default printer: "}},
    {InstallStep::PortSettings, {"无法保存端口设置：", "Could not save the port settings of "}},
    {InstallStep::MovePrinter, {"无法将打印机移到端口：", "Could not move the printer to the port "}},
    {InstallStep::ReadBack, {"打印后台程序中的打印机与安装的不符：", "The spooler does not show the printer as installed: "}},
};
constexpr Bilingual kErrorCode = {"错误 %1", "error %1"};
// %1 the error's code, %2 the system's text of it.
constexpr Bilingual kFailureError = {"（%1）", " (%1)"};
constexpr Bilingual kFailureErrorWithText = {"（%1：%2）", " (%1: %2)"};
// A network printer's answer (%1, with its advice).
constexpr Bilingual kPrinterLine = {"打印机：%1", "Printer: %1"};
// The command line's line. %1 the printer, %2 the port, %3 why.
constexpr Bilingual kInstalledOn = {"已安装打印机 %1，端口 %2。", "The printer %1 is installed on %2."};
constexpr Bilingual kInstalledOnBy = {"已安装打印机 %1，端口 %2（%3）。", "The printer %1 is installed on %2 (%3)."};
constexpr Bilingual kNamedPort = {"命令行指定的端口", "the port named on the command line"};
constexpr Bilingual kExistingPort = {"打印机已在此端口上", "the printer was there already"};
// %1 the address, %2 made or reused, %3 the printer's state with advice.
constexpr Bilingual kNetworkPort = {"%1，%2的端口；打印机：%3", "%1, port %2; the printer: %3"};
constexpr Bilingual kPortMade = {"新建", "made"};
constexpr Bilingual kPortReused = {"已有", "reused"};
// Why the wizard's installation did not run.
constexpr Bilingual kNothingInstalled = {"未安装打印机。", "Nothing was installed."};
constexpr Bilingual kNoPortMessage = {
    "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。",
    "There is no port to install the printer on. Please click \"Search Port...\", then select a port."};
constexpr Bilingual kCannotStart = {"无法开始安装（错误 %1）。", "The installation could not start (error %1)."};
// Checked before anything changes: this machine or this process cannot
// install (or remove). %1 what needs the rights.
constexpr Bilingual kNeedsAdministrator = {
    "%1需要管理员权限，而 Kelp 现在没有以管理员身份运行，未做任何更改。\n"
    "请以管理员身份启动 Kelp：右键单击 Kelp.exe，选择“以管理员身份运行”；"
    "命令行请在“以管理员身份运行”打开的命令提示符中使用。",
    "%1 needs administrator rights, and Kelp is not running as an administrator: nothing was changed.\n"
    "Start Kelp as an administrator: right-click Kelp.exe and choose \"Run as administrator\"; "
    "for the command line, use a command prompt opened with \"Run as administrator\"."};
constexpr Bilingual kInstallingNeeds = {"安装打印机", "Installing the printer"};
constexpr Bilingual kRemovingNeeds = {"删除打印机", "Removing the printer"};
constexpr Bilingual kWindowsOnArm = {
    "这台电脑是 ARM 版 Windows（ARM64），它只接受 ARM64 打印机驱动，而本安装包没有适用于 ARM 版 Windows 的驱动。"
    "未做任何更改。",
    "This computer runs Windows on ARM (ARM64), which takes only ARM64 printer drivers, and this package has no "
    "driver for Windows on ARM. Nothing was changed."};
constexpr const char* kRegistryErrorMessage = "错误：无法设置有关的注册表信息";
constexpr Bilingual kPortPageFailed = {
    "端口页面无法打开，或因内部错误而关闭，安装未完成。",
    "The port page could not be opened, or closed on an internal error: the installation was not completed."};
constexpr Bilingual kOfferTestReceipt = {"现在打印一张测试小票吗？", "Print a test receipt now?"};
constexpr const char* kSearchReminder = "Please click \"Search Port...\",then select port!";
constexpr Bilingual kNoPortToConfigure = {"请先点击“搜索端口...”，然后选择要配置的端口。",
                                          "Please click \"Search Port...\", then select the port to configure."};

// The test receipt. %1 the printer, %2 its port, %3 the error or the state.
constexpr Bilingual kPrinted = {"测试小票已在 %1（%2）上打印。", "The test receipt was printed on %1 (%2)."};
constexpr Bilingual kSent = {"测试小票已发送到 %1（%2）。", "The test receipt was sent to %1 (%2)."};
constexpr Bilingual kReceiptNoPrinter = {"打印机 %1 未安装，未打印测试小票。",
                                         "The printer %1 is not installed: no test receipt was printed."};
constexpr Bilingual kNoLock = {"无法开始打印测试小票（错误 %3）。", "The test receipt could not be started (error %3)."};
constexpr Bilingual kUnreadable = {
    "未打印测试小票：端口 %2 的设置无法读取（错误 %3），无法先询问打印机。请以管理员身份再次运行 Kelp 打印测试小票。",
    "The test receipt was not printed: the settings of the port %2 cannot be read (error %3), so the printer could not "
    "be asked first. Run Kelp again as an administrator to print a test receipt."};
constexpr Bilingual kWithheld = {"未打印测试小票：打印机 %1（%2）报告：%3。",
                                 "The test receipt was not printed: the printer %1 (%2) reports %3."};
constexpr Bilingual kLoadPaper = {"请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。",
                                  "Put in a new paper roll and close the cover, then run Kelp again to print a test receipt."};
constexpr Bilingual kCloseCover = {"请合上打印机上盖，然后再次运行 Kelp 打印测试小票。",
                                   "Close the printer's cover, then run Kelp again to print a test receipt."};
constexpr Bilingual kClearError = {
    "请查看打印机的指示灯：排除卡纸或切刀故障，关机后再开机，然后再次运行 Kelp 打印测试小票。",
    "Look at the printer's lights: clear a paper jam or the cutter, switch the printer off and on, then run Kelp again "
    "to print a test receipt."};
constexpr Bilingual kSwitchOn = {"请打开打印机电源，检查连接线或网络连接及地址，然后再次运行 Kelp 打印测试小票。",
                                 "Switch the printer on and check its cable or network connection and its address, then "
                                 "run Kelp again to print a test receipt."};
constexpr Bilingual kCheckAddress = {"请检查打印机的地址（打印机自检页上有），然后用正确的地址重新安装。",
                                     "Check the printer's address (its self-test page shows it), then install again on "
                                     "the right one."};
constexpr Bilingual kCheckAddressAndPort = {
    "该地址上是其他设备：请检查打印机的地址和 TCP 端口（打印机自检页上有），然后用正确的地址重新安装。",
    "Something else is at that address: check the printer's address and TCP port (its self-test page shows them), "
    "then install again on the right ones."};
constexpr Bilingual kPortNotOpen = {
    "未打印测试小票：端口 %2 无法打开（错误 %3）：可能有其他程序（如收银软件）正在使用它，或该端口不存在。请关闭使用该端口的程序，"
    "然后再次运行 Kelp 打印测试小票。",
    "The test receipt was not printed: the port %2 does not open (error %3): another program (the till's software) may "
    "hold it, or the port does not exist. Close the program that uses the port, then run Kelp again to print a test "
    "receipt."};
constexpr Bilingual kNoStatus = {
    "未发送测试小票：打印机 %1（%2）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，连接线或网络已连接，地址正确。",
    "The test receipt was not sent: the printer %1 (%2) does not answer status requests, so it cannot be told whether "
    "it can print. Check first that it is switched on, that its cable or network is connected, and its address."};
constexpr Bilingual kAskNoStatus = {
    "打印机 %1（%2）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，连接线或网络已连接，地址正确。\n仍要发送测试小票吗？",
    "The printer %1 (%2) does not answer status requests, so it cannot be told whether it can print. Check first that "
    "it is switched on, that its cable or network is connected, and its address.\nSend the test receipt anyway?"};
constexpr Bilingual kSentUnchecked = {
    "测试小票已发送到 %1（%2），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。",
    "The test receipt was sent to %1 (%2), but the printer gives no status: it cannot be told whether it printed. "
    "Look at the printer for the receipt."};
constexpr Bilingual kCheckUsb = {
    "请检查打印机是否已用 USB 线连接到本电脑并已开机，然后再次运行 Kelp 打印测试小票。",
    "Check that the printer is connected to this computer by its USB cable and switched on, then run Kelp again to "
    "print a test receipt."};
// A printer that moved. %1 the printer, %2 its port, %3 the address asked,
// %4 the model the printer found names, %5 its address, %6 its serial number.
constexpr Bilingual kLookingForMovedPrinter = {"%1 上没有打印机回答，正在本机所在的网络中查找这台打印机……",
                                               "No printer answers at %1: looking for it on this computer's networks ..."};
constexpr Bilingual kAskToMove = {
    "打印机 %1（%2）在 %3 上没有回答。\n本机所在的网络中，%5 上有一台自称 %4 的打印机回答，序列号：%6（请与打印机自检页上的序列号核对）。\n"
    "要把打印机 %1 改到 %5 并在那里打印测试小票吗？",
    "The printer %1 (%2) does not answer at %3.\nOn this computer's networks a printer that names itself %4 answers at %5, "
    "serial number: %6 (compare it with the serial number on the printer's self-test page).\nMove the printer %1 to %5 "
    "and print the test receipt there?"};
constexpr Bilingual kNoSerial = {"未提供", "not given"};
// %1 the printers, one a line; a line: %1 the address, %2 the serial number.
constexpr Bilingual kSeveralMoved = {
    "本机所在的网络中，以下地址上有该型号的打印机回答：\n%1\n请将它们的序列号与打印机自检页上的序列号核对，然后用正确的地址重新安装打印机。",
    "Printers of this model answer at other addresses on this computer's networks:\n%1\nCompare their serial numbers with "
    "the one on the printer's self-test page, then install the printer again with the right address."};
constexpr Bilingual kMovedLine = {"%1，序列号：%2", "%1, serial number: %2"};
constexpr Bilingual kAnswersAgain = {"现在 %1 上有打印机回答：请再次运行 Kelp 打印测试小票。",
                                     "A printer answers at %1 now: run Kelp again to print a test receipt."};
constexpr Bilingual kMovedSearchFailed = {"在本机所在的网络中查找这台打印机失败（错误 %1）。",
                                          "The search for the printer on this computer's networks failed (error %1)."};
constexpr Bilingual kFindHint = {"如果打印机换了地址：Kelp.exe /find 列出本网络中的打印机及其型号。",
                                 "If the printer got another address: Kelp.exe /find lists the printers on this network "
                                 "with their models."};
constexpr Bilingual kForceHint = {"如确认打印机已就绪，可加 /force 仍然发送。",
                                  "Add /force to send it anyway once you have checked the printer."};

// The job. %1 the problem; %1 the spooler's step, %2 its error; %1 the seconds waited.
struct ProblemEntry {
    JobProblem problem;
    Bilingual text;
};
constexpr ProblemEntry kProblemTexts[] = {
    {JobProblem::JobPaused, {"打印任务已暂停", "the job is paused"}},
    {JobProblem::PrinterError, {"打印机报告了错误", "the printer reported an error"}},
    {JobProblem::Offline, {"打印机已脱机", "the printer is offline"}},
    {JobProblem::PaperOut, {"打印机缺纸", "the printer is out of paper"}},
    {JobProblem::UserIntervention, {"打印机需要人工处理", "the printer needs attention"}},
    {JobProblem::Blocked, {"打印任务被阻塞", "the job is blocked"}},
    {JobProblem::PrinterPaused, {"打印机已暂停", "the printer is paused"}},
    {JobProblem::Cancelled, {"打印任务在打印前被删除", "the job was deleted before it printed"}},
};
constexpr Bilingual kNotPrinted = {"测试小票未能打印：%1。", "The test receipt was not printed: %1."};
constexpr Bilingual kStepFailed = {"测试小票未能打印：%1 失败（错误 %2）。",
                                   "The test receipt was not printed: %1 failed (error %2)."};
constexpr Bilingual kStillQueued = {"测试小票在 %1 秒后仍在打印队列中：打印机是否已开机并连接？",
                                    "The test receipt is still in the queue after %1 s: is the printer on and connected?"};
constexpr Bilingual kJobDeleted = {"已删除该打印任务。", " The job was deleted."};
constexpr Bilingual kJobNotDeleted = {"无法删除该打印任务：它仍在打印队列中。",
                                      " The job could not be deleted: it is still in the queue."};

// The command line. %1 the printer.
constexpr Bilingual kWrongCommandLine = {"命令行错误：", "Wrong command line: "};
constexpr Bilingual kUnknownPort = {"没有这个端口：", "No such port: "};
constexpr Bilingual kNoAutomaticPort = {"没有可自动选择的端口。", "There is no port to choose automatically."};
constexpr Bilingual kRemoved = {"已删除打印机 %1 及其驱动。", "The printer %1 and its driver were removed."};
constexpr Bilingual kRemovedDriverLeft = {
    "已删除打印机 %1。Windows 仍在使用它的驱动，驱动暂时保留，待 Windows 释放后可再次删除（Kelp.exe /uninstall /model:%1）。",
    "The printer %1 was removed. Windows is still using its driver, so the driver stays until Windows lets it go; "
    "it can be removed then (Kelp.exe /uninstall /model:%1)."};
constexpr Bilingual kNotInstalled = {"%1 未安装，无需删除。", "%1 is not installed: nothing to remove."};
constexpr Bilingual kFailed = {"失败，详见日志：", "Failed; the log says which step: "};
constexpr Bilingual kFailedNoLog = {"失败。", "Failed."};
constexpr Bilingual kLogIs = {"日志：", "Log: "};

// The parser's refusals, in the order of CliProblem. %1 the subject, %2 the other.
constexpr Bilingual kCliProblems[] = {
    {"", ""},
    {"多余的参数“%1”", "unexpected argument %1"},
    {"开关 /%1 重复出现", "switch /%1 given twice"},
    {"/%1 不带值", "/%1 takes no value"},
    {"只能指定一个操作", "more than one action"},
    {"/? 不带其他开关", "/? takes no other switch"},
    {"缺少操作：/install、/uninstall、/testprint、/list 或 /find", "no action: /install, /uninstall, /testprint, /list or /find"},
    {"/find 需要 IPv4 地址范围：/find:<起始地址>-<结束地址>",
     "/find takes a range of IPv4 addresses: /find:<first address>-<last address>"},
    {"/find 的起始地址在结束地址之后", "the first address of /find comes after the last"},
    {"/find 不能搜索 0.x.x.x、组播地址或保留地址（224.0.0.0 及以上）",
     "/find cannot search 0.x.x.x, multicast or reserved addresses (224.0.0.0 and above)"},
    {"/find 最多搜索 1024 个地址", "/find searches at most 1024 addresses"},
    {"未知的开关 /%1", "unknown switch /%1"},
    {"/%1 不能与 /%2 一起使用", "/%1 does not go with /%2"},
    {"/%1 缺少值", "/%1 needs a value"},
    {"未知的型号“%1”", "unknown model %1"},
    {"/lang 只能是 zh 或 en", "/lang must be zh or en"},
    {"/log 需要完整路径（C:\\...\\file.log），不能带引号", "/log needs a full path (C:\\...\\file.log) without quotes"},
    {"/log 指定的是设备，不是文件", "/log names a device, not a file"},
    {"/log 不是有效的文件名（不能含 * ? < > | : 或控制字符）",
     "/log is not a valid file name (no * ? < > | : or control characters)"},
    {"/log 必须指定 .log 或 .txt 文件", "/log must name a .log or .txt file"},
    {"/wait 必须是 0 到 3600 之间的整数秒数", "/wait must be a whole number of seconds from 0 to 3600"},
    {"/host：%3", "/host: %3"},
    {"/host 不能与 /port 一起使用", "/host and /port do not go together"},
    {"缺少 /model", "/model is missing"},
    {"/drawer 只能是 /drawer、/drawer:2 或 /drawer:5", "/drawer must be /drawer, /drawer:2 or /drawer:5"},
    {"/drawer 需要跟踪测试小票的打印：不能与 /wait:0 一起使用",
     "/drawer needs the test receipt followed out of the queue: it does not go with /wait:0"},
};

// ---- The cash drawer and a USB printer's status ----------------------------
// %1 the printer, %2 its port, %3 the pin (2 or 5), %4 the error.
constexpr Bilingual kUsbPaperEmpty = {
    "未发送测试小票：USB 打印机 %1（%2）报告缺纸。请装入纸卷。有些 USB 接口会误报缺纸：如确认已有纸，可以仍然打印。",
    "The test receipt was not sent: the USB printer %1 (%2) reports that it is out of paper. Put in a paper roll. Some "
    "USB interfaces report this wrongly: if the paper is in, the receipt can be printed anyway."};
constexpr Bilingual kAskUsbPaperEmpty = {
    "USB 打印机 %1（%2）报告缺纸。有些 USB 接口会误报缺纸。\n如确认已装好纸，仍要打印测试小票吗？",
    "The USB printer %1 (%2) reports that it is out of paper. Some USB interfaces report this wrongly.\nIf the paper "
    "is in, print the test receipt anyway?"};
constexpr Bilingual kUsbNoStatus = {"（未能读取 USB 打印机的状态，错误 %4，因此打印前未检查纸张。）",
                                    "(No status could be read from the USB printer (error %4), so its paper was not "
                                    "checked first.)"};
constexpr Bilingual kOfferCashDrawer = {"\n\n同时打开钱箱吗？", "\n\nOpen the cash drawer too?"};
constexpr Bilingual kDrawerOpened = {"钱箱已打开（引脚 %3）：钱箱传感器状态已改变。",
                                     "The cash drawer opened (pin %3): its sensor changed."};
constexpr Bilingual kDrawerUnchanged = {
    "已发送开钱箱信号（引脚 %3），但钱箱传感器状态未改变（没有传感器连线的钱箱不会报告）：请查看钱箱是否已打开。",
    "The kick was sent (pin %3); the drawer's sensor did not change (a drawer without a sensor cable does not report "
    "it): look at the drawer."};
constexpr Bilingual kDrawerNoSensor = {"已发送开钱箱信号（引脚 %3），但打印机未报告钱箱状态：请查看钱箱是否已打开。",
                                       "The kick was sent (pin %3), but the printer did not report its drawer: look "
                                       "at the drawer."};
constexpr Bilingual kDrawerNotSent = {"未能打开钱箱：无法连接打印机 %1（%2）。",
                                      "The cash drawer was not kicked: the printer %1 (%2) could not be reached."};
constexpr Bilingual kDrawerSentAsJob = {"开钱箱信号（引脚 %3）已作为打印任务发送到 %1（%2）：请查看钱箱是否已打开。",
                                        "The kick (pin %3) was sent to %1 (%2) as a job of its own: look at the "
                                        "drawer."};
// %1 the spooler's step, %2 its error (the kick's job is not followed: only a step fails it).
constexpr Bilingual kDrawerJobFailed = {"未能发送开钱箱信号：%1 失败（错误 %2）。", "The kick was not sent: %1 failed (error %2)."};
constexpr Bilingual kDrawerNeither = {
    "引脚 2 和引脚 5 都已发送开钱箱信号，但钱箱传感器状态都未改变。请检查：钱箱连接线插在打印机的钱箱接口（RJ11/RJ12）上，"
    "钱箱未上锁；没有传感器连线的钱箱不会报告状态，请查看钱箱是否已打开。",
    "Kicks were sent on pin 2 and on pin 5; the drawer's sensor changed on neither. Check that the drawer's cable is "
    "in the printer's drawer socket (RJ11/RJ12) and that the drawer is not locked; a drawer without a sensor cable "
    "does not report it: look at the drawer."};

// ---- Helpers ---------------------------------------------------------------

template <std::size_t N>
std::string At(const Bilingual (&texts)[N], std::size_t index, Language language) {
    return index < N ? texts[index].in(language) : "";
}

// "error 5: Access is denied." as a message's parenthesis holds it.
std::string ErrorWithText(WinError error, const std::string& systemText, Language language) {
    std::string number = ErrorNumber(error, language);
    if (!systemText.empty()) number += (language == Language::English ? ": " : "：") + systemText;
    return number;
}

// Why the log's file was not written: "it has 2 names (hard links)".
std::string LogProblemText(const LogTrouble& trouble, Language language) {
    if (trouble.problem < LogProblem::IsLink) return {};
    const std::size_t index = static_cast<std::size_t>(trouble.problem) - static_cast<std::size_t>(LogProblem::IsLink);
    const std::string count = trouble.problem == LogProblem::HardLinks ? std::to_string(trouble.links)
                                                                       : ErrorNumber(trouble.error, language);
    return Fill(At(kLogProblems, index, language), {count});
}

// What to do about a state before a test receipt can print.
const Bilingual& WhatToDo(PrinterState state) {
    switch (state) {
        case PrinterState::PaperOut: return kLoadPaper;
        case PrinterState::CoverOpen: return kCloseCover;
        case PrinterState::Offline:
        case PrinterState::Error: return kClearError;
        case PrinterState::NotAPrinter: return kCheckAddress;
        case PrinterState::Refused: return kCheckAddressAndPort;
        default: return kSwitchOn;
    }
}

// One failed step: what could not be done, to what, and the system's error.
std::string FailureLine(const InstallFailure& failure, Language language) {
    const auto step = std::find_if(std::begin(kStepTexts), std::end(kStepTexts),
                                   [&failure](const StepText& entry) { return entry.step == failure.step; });
    std::string line = "\n";
    if (step != std::end(kStepTexts)) line += step->text.in(language);
    line += OutsideText(failure.subject);
    // The checks of what the spooler shows have no Windows error.
    if (failure.error == winerr::Success) return line;
    // "error 5", or the log's words for no code.
    const std::string code = failure.error == winerr::NoErrorCode
                                 ? ErrorNumber(failure.error, language)
                                 : Fill(kErrorCode.in(language), {std::to_string(failure.error)});
    return line + Fill((failure.errorText.empty() ? kFailureError : kFailureErrorWithText).in(language),
                       {code, OutsideText(failure.errorText)});
}

}  // namespace

// ---- Runs ------------------------------------------------------------------

std::string DescribeAnotherRun(Language language) { return kAnotherRun.in(language); }

std::string DescribeLogLine(const std::string& logPath, Language language) {
    return logPath.empty() ? std::string() : Fill(kLogLine.in(language), {OutsideText(logPath)});
}

std::string DescribeLogRefusal(const LogTrouble& trouble, Language language) {
    return Fill(kLogRefused.in(language), {OutsideText(trouble.asked), LogProblemText(trouble, language)});
}

std::string DescribeLogNotice(const LogTrouble& trouble, Language language) {
    switch (trouble.problem) {
        case LogProblem::None: return {};
        case LogProblem::NoTemporaryFolder: return kNoTemporaryFolder.in(language);
        default: break;
    }
    const std::string notice =
        Fill(kLogNotWritten.in(language), {OutsideText(trouble.asked), LogProblemText(trouble, language)});
    if (trouble.beside.empty()) return notice + kNoLog.in(language);
    return notice + Fill(kLogBeside.in(language), {OutsideText(trouble.beside)});
}

std::string DescribeWaiting(const Waiting& waiting, Language language) {
    switch (waiting.what) {
        case WaitFor::Nothing: return {};
        case WaitFor::PrinterAnswer: return Fill(kAskingPrinter.in(language), {OutsideText(waiting.subject)});
        case WaitFor::SerialPrinterAnswer: return Fill(kAskingSerialPrinter.in(language), {OutsideText(waiting.subject)});
        case WaitFor::MovedPrinterSearch: return Fill(kLookingForMovedPrinter.in(language), {OutsideText(waiting.subject)});
    }
    return {};
}

// ---- Printers' states ------------------------------------------------------

std::string DescribePrinterState(PrinterState state, Language language) {
    return At(kStates, static_cast<std::size_t>(state), language);
}

std::string DescribePrinterStateAdvice(PrinterState state, Language language) {
    const Bilingual* advice = nullptr;
    switch (state) {
        case PrinterState::Ready:
        case PrinterState::PaperNearEnd:
        case PrinterState::NoStatus: break;
        case PrinterState::PaperOut:
        case PrinterState::CoverOpen:
        case PrinterState::Offline:
        case PrinterState::Error: advice = &kPutRight; break;
        case PrinterState::NoAnswer: advice = &kCheckOnCableAddress; break;
        case PrinterState::Refused: advice = &kSomethingElseThere; break;
        case PrinterState::NotAPrinter: advice = &kCheckTheAddress; break;
        case PrinterState::PortNotOpen: advice = &kPortHeld; break;
    }
    const std::string words = DescribePrinterState(state, language);
    return advice ? Fill(kStateAdvice.in(language), {words, advice->in(language)}) : words;
}

// ---- Network printers ------------------------------------------------------

std::string DescribeAddressProblem(AddressProblem problem, Language language) {
    return At(kAddressProblems, static_cast<std::size_t>(problem), language);
}

std::string DescribeBadAddress(AddressProblem problem, Language language) {
    return kBadAddress.in(language) + DescribeAddressProblem(problem, language);
}

std::string DescribeRefusedAddress(const std::string& host, Ipv4 address, AddressProblem problem, Language language) {
    const std::string reason = DescribeAddressProblem(problem, language);
    if (ParseIpv4(host)) return reason;
    return Fill(kStandsFor.in(language), {OutsideText(host), FormatIpv4(address)}) + reason;
}

std::string DescribeHostRefused(const std::string& host, const InstallationOutcome& outcome, Language language) {
    return Fill(kHostSwitch.in(language),
                {DescribeRefusedAddress(host, outcome.hostAddress.value_or(0), outcome.addressProblem, language)});
}

std::string DescribeNameNotFound(const std::string& host, WinError error, Language language) {
    return Fill(kNameNotFound.in(language), {OutsideText(host), ErrorNumber(error, language)});
}

std::string AskToInstallNameNotFound(const std::string& host, WinError error, Language language) {
    return Fill(kInstallAnyway.in(language), {OutsideText(host), ErrorNumber(error, language)});
}

// ---- Who the printer is ------------------------------------------------------

namespace {

// %1 the model the printer names, %2 the model chosen.
constexpr Bilingual kOtherModelQuestion = {
    "打印机自报型号为 %1，而您选择的是 %2。\n按其他型号安装的驱动程序可能打印不正确。仍要按 %2 安装吗？",
    "The printer says it is a %1, but you chose %2.\nA driver for another model may print wrongly. Install it as %2 anyway?"};
// %1 what the printer named itself.
constexpr Bilingual kNamedItself = {"打印机自报型号：“%1”。", "The printer names itself \"%1\"."};
constexpr Bilingual kNamedSerial = {"序列号：“%1”。", " Serial number: \"%1\"."};
// %1 the model chosen.
constexpr Bilingual kInstalledAsAsked = {"这不是 %1：已按要求安装为 %1。", " That is not %1: installed as %1, as asked."};

}  // namespace

std::string AskToInstallOtherModel(const std::string& chosenModel, const std::string& namedModel, Language language) {
    return Fill(kOtherModelQuestion.in(language), {namedModel, chosenModel});
}

std::string DescribePrinterNamedItself(const PrinterIdentity& identity, const std::string& chosenModel,
                                       bool otherModel, Language language) {
    if (!identity.named()) return {};
    std::string line = Fill(kNamedItself.in(language), {OutsideText(identity.model)});
    if (!identity.serial.empty()) line += Fill(kNamedSerial.in(language), {OutsideText(identity.serial)});
    if (otherModel) line += Fill(kInstalledAsAsked.in(language), {chosenModel});
    return line;
}

std::string DescribeNetworkPortFailure(const TcpIpPort& port, const NetworkAddress& address, Language language) {
    const Bilingual* text = nullptr;
    switch (port.problem) {
        case NetworkPortProblem::None: return {};
        case NetworkPortProblem::Unreadable: text = &kNoPortList; break;
        case NetworkPortProblem::NoMonitor: text = &kNoMonitor; break;
        case NetworkPortProblem::NotMade: text = &kPortNotMade; break;
        case NetworkPortProblem::NoFreeName: text = &kNoPortName; break;
        case NetworkPortProblem::PortSettingsUnreadable: text = &kPortSettingsUnreadable; break;
    }
    return Fill(text->in(language), {OutsideText(FormatAddress(address)), ErrorWithText(port.error, port.errorText, language),
                                     OutsideText(port.unreadable)});
}

std::string DescribeAdaptersUnreadable(WinError error, Language language) {
    return Fill(kAdaptersUnreadable.in(language), {ErrorNumber(error, language)});
}

std::string DescribeSearchFailure(WinError error, Language language) {
    return Fill(kSearchFailed.in(language), {ErrorNumber(error, language)});
}

std::string DescribeSearch(SearchLine line, std::size_t found, Language language) {
    const std::string gap = language == Language::English ? " " : "";
    const std::string count = Fill((found == 1 ? kFoundOne : kFoundMany).in(language), {std::to_string(found)});
    switch (line) {
        case SearchLine::Searching: return kSearching.in(language);
        case SearchLine::NoNetwork: return kNoNetwork.in(language);
        case SearchLine::NoneFound: return kNoneFound.in(language);
        case SearchLine::NoneAnswered: return kNoneAnswered.in(language);
        case SearchLine::CancelledNoneAnswered: return kCancelled.in(language) + gap + kNoneAnswered.in(language);
        case SearchLine::Found: return count + gap + kPickOne.in(language);
        case SearchLine::Cancelled: return kCancelled.in(language);
        case SearchLine::CancelledFound: return kCancelled.in(language) + gap + count + gap + kPickOne.in(language);
    }
    return {};
}

// ---- Ports -----------------------------------------------------------------

std::string DescribePortRule(PortRule rule, const std::string& modelName, Language language, const std::string& port) {
    const auto kind = [&port](const char* prefix) { return port.rfind(prefix, 0) == 0; };
    switch (rule) {
        case PortRule::OnlyConnected: return kOnlyConnected.in(language);
        case PortRule::IdentifiesAsModel: return Fill(kIdentifiesAsModel.in(language), {modelName});
        case PortRule::FirstConnected: return kFirstConnected.in(language);
        case PortRule::Classification:
            if (kind("USB")) return kFirstUsbPort.in(language);
            if (kind("COM")) return kFirstSerialPort.in(language);
            if (kind("LPT")) return kFirstParallelPort.in(language);
            return kFirstPortOfItsKind.in(language);
        case PortRule::SpoolerOnline: return kSpoolerOnline.in(language);
    }
    return {};
}

std::string DescribePrinterPort(const InstallReport& report, std::optional<PortRule> rule,
                                const std::string& modelName, Language language) {
    std::string why;
    if (!report.movedTo.empty())
        why = Fill(kMovedFrom.in(language), {OutsideText(report.existingPort)});
    else if (report.printerExisted)
        why = kOwnPortKept.in(language);
    else if (rule)
        why = DescribePortRule(*rule, modelName, language, report.port);
    return Fill((why.empty() ? kPortLine : kPortLineWhy).in(language), {OutsideText(report.port), why});
}

std::string DescribeUsbPortState(std::optional<bool> connected, Language language) {
    if (!connected) return kUsbUnknown.in(language);
    return *connected ? kUsbConnected.in(language) : "";
}

// ---- Installation ----------------------------------------------------------

std::string DescribeInstallReport(const InstallReport& report, const std::string& printerName, Language language) {
    // A printer that was there already is told once, with the settings that
    // failed after it, if any.
    const std::string existed =
        report.movedTo.empty() ? Fill(kExistingKept.in(language), {printerName})
                               : Fill(kExistingMoved.in(language), {printerName, OutsideText(report.existingPort), OutsideText(report.movedTo)});
    // A printer of the model's name on another driver is not this model's.
    const auto foreign = std::find_if(report.failures.begin(), report.failures.end(),
                                      [](const InstallFailure& f) { return f.step == InstallStep::ForeignDriver; });
    const bool existedHere = report.printerExisted && foreign == report.failures.end();
    if (report.succeeded()) return existedHere ? existed + kFullStop.in(language) : std::string();
    std::string text;
    if (foreign != report.failures.end())
        text = Fill(kForeignDriver.in(language),
                    {printerName, OutsideText(foreign->subject), "Kelp.exe /uninstall /model:" + printerName});
    else if (existedHere)
        text = existed + kSettingsFailedAfter.in(language);
    else if (report.printerInstalled)
        text = Fill(kInstalledSettingsFailed.in(language), {printerName});
    else
        text = kDriverFailed.in(language);
    for (const auto& failure : report.failures) {
        if (failure.step != InstallStep::ForeignDriver) text += FailureLine(failure, language);  // else said above
    }
    return text;
}

std::string DescribeInstallation(const InstallationOutcome& outcome, const std::string& printerName, Language language,
                                 const std::string& logPath) {
    const InstallReport& report = outcome.report;
    const bool plainSuccess = report.succeeded() && !report.printerExisted;
    std::string text = plainSuccess ? kCompleted.in(language) : DescribeInstallReport(report, printerName, language);
    if (report.printerInstalled) text += "\n" + DescribePrinterPort(report, outcome.rule, printerName, language);
    // How a network printer answered, once the printer is on its port.
    if (outcome.printerState && report.printerInstalled && SameName(report.port, outcome.networkPort.name))
        text += "\n" + Fill(kPrinterLine.in(language), {DescribePrinterStateAdvice(*outcome.printerState, language)});
    if (!report.succeeded()) text += DescribeLogLine(logPath, language);
    return text;
}

std::string DescribeInstalledOn(const InstallationOutcome& outcome, const std::string& printerName,
                                const NetworkAddress& address, bool portNamed, Language language) {
    std::string why = outcome.rule ? DescribePortRule(*outcome.rule, printerName, language, outcome.port) : std::string();
    if (portNamed) why = kNamedPort.in(language);
    if (outcome.keptExistingPort) why = kExistingPort.in(language);
    // A printer whose name could not be found (/force) was not asked.
    if (outcome.networkPort.ok())
        why = Fill(kNetworkPort.in(language), {OutsideText(FormatAddress(address)),
                                               (outcome.networkPort.made ? kPortMade : kPortReused).in(language),
                                               outcome.printerState ? DescribePrinterStateAdvice(*outcome.printerState, language)
                                                                    : std::string(kNameNotFoundYet.in(language))});
    const std::string& port = outcome.report.port.empty() ? outcome.port : outcome.report.port;
    return Fill((why.empty() ? kInstalledOn : kInstalledOnBy).in(language), {printerName, OutsideText(port), why});
}

std::string DescribeInstallationStop(const InstallationOutcome& outcome, const NetworkAddress& address,
                                     Language language, const std::string& logPath) {
    switch (outcome.stop) {
        case InstallationStop::None: return {};
        case InstallationStop::Busy: return DescribeAnotherRun(language);
        case InstallationStop::NoPort:
        case InstallationStop::UnknownPort: return kNoPortMessage.in(language);
        case InstallationStop::NoNetworkPort:
            return DescribeNetworkPortFailure(outcome.networkPort, address, language) + "\n" +
                   kNothingInstalled.in(language) + DescribeLogLine(logPath, language);
        case InstallationStop::AddressRefused:
            return DescribeRefusedAddress(address.host, outcome.hostAddress.value_or(0), outcome.addressProblem, language) +
                   "\n" + kNothingInstalled.in(language);
        case InstallationStop::NoAdministrator: return Fill(kNeedsAdministrator.in(language), {kInstallingNeeds.in(language)});
        case InstallationStop::WindowsOnArm: return kWindowsOnArm.in(language);
        case InstallationStop::OtherModel:    // the page asks instead (AskToInstallOtherModel)
        case InstallationStop::NameNotFound:  // the page asks instead (AskToInstallNameNotFound)
        case InstallationStop::LockFailed:
        case InstallationStop::PortsUnreadable:
            return Fill(kCannotStart.in(language), {ErrorNumber(outcome.error, language)}) + "\n" +
                   kNothingInstalled.in(language) + DescribeLogLine(logPath, language);
    }
    return {};
}

std::string DescribePageNotice(PageNotice notice, Language language) {
    switch (notice) {
        case PageNotice::SearchFirst: return kSearchReminder;
        case PageNotice::NoPortToConfigure: return kNoPortToConfigure.in(language);
        case PageNotice::NoPort: return kNoPortMessage.in(language);
        case PageNotice::PortPageFailed: return kPortPageFailed.in(language);
        case PageNotice::OfferTestReceipt: return kOfferTestReceipt.in(language);
    }
    return {};
}

std::string DescribeRegistryWriteFailed() { return kRegistryErrorMessage; }

// ---- Test receipt ----------------------------------------------------------

namespace {

// A USB printer's status that could not be read: the receipt went on unchecked.
std::string UsbNotRead(const TestReceiptOutcome& outcome, Language language) {
    if (!outcome.usb.asked || outcome.usb.read()) return {};
    return (language == Language::English ? " " : "") + Fill(kUsbNoStatus.in(language), {"", "", "", ErrorNumber(outcome.usb.error, language)});
}

}  // namespace

std::string DescribeTestReceiptOutcome(const TestReceiptOutcome& outcome, std::uint32_t waitSeconds, Language language,
                                       const std::string& systemText) {
    const std::string error = ErrorNumber(outcome.error, language);
    // The spooler's names, escaped.
    const std::string name = OutsideText(outcome.printerName), port = OutsideText(outcome.port);
    switch (outcome.result) {
        case TestReceiptResult::Printed: return Fill(kPrinted.in(language), {name, port}) + UsbNotRead(outcome, language);
        case TestReceiptResult::Sent: return Fill(kSent.in(language), {name, port}) + UsbNotRead(outcome, language);
        case TestReceiptResult::NoPrinter:
            return Fill(kReceiptNoPrinter.in(language), {name, port});
        case TestReceiptResult::Busy: return DescribeAnotherRun(language);
        case TestReceiptResult::LockFailed: return Fill(kNoLock.in(language), {name, port, error});
        case TestReceiptResult::PortUnreadable:
            return Fill(kUnreadable.in(language), {name, port, error});
        case TestReceiptResult::Withheld: {
            const PrinterState state = outcome.state.value_or(PrinterState::NoAnswer);
            if (state == PrinterState::PortNotOpen)
                return Fill(kPortNotOpen.in(language), {name, port, error}) +
                       (systemText.empty() ? "" : "\n" + systemText);
            return Fill(kWithheld.in(language), {name, port, DescribePrinterState(state, language)}) +
                   "\n" + WhatToDo(state).in(language);
        }
        case TestReceiptResult::NeedsConfirmation: return Fill(kNoStatus.in(language), {name, port});
        case TestReceiptResult::SentUnchecked:
            return Fill(kSentUnchecked.in(language), {name, port});
        case TestReceiptResult::UsbPaperEmpty: return Fill(kUsbPaperEmpty.in(language), {name, port});
        case TestReceiptResult::JobFailed: break;
    }
    std::string text = DescribePrintJobReport(outcome.job, waitSeconds, language);
    if (outcome.job.problem == JobProblem::SpoolerStep && !systemText.empty()) text += "\n" + systemText;
    // A USB printer unplugged or off makes the spooler's own steps fail.
    if (outcome.job.problem == JobProblem::SpoolerStep && Lower(outcome.port).rfind("usb", 0) == 0)
        text += "\n" + std::string(kCheckUsb.in(language));
    return text;
}

std::string AskToSendDespitePaper(const TestReceiptOutcome& outcome, Language language) {
    return Fill(kAskUsbPaperEmpty.in(language), {OutsideText(outcome.printerName), OutsideText(outcome.port)});
}

std::string AskToOpenCashDrawer(const std::string& outcomeText, Language language) {
    return outcomeText + kOfferCashDrawer.in(language);
}

std::string DescribeDrawerOutcome(const DrawerOutcome& outcome, Language language) {
    const std::string name = OutsideText(outcome.printerName), port = OutsideText(outcome.port);
    const std::string pin = outcome.pin == DrawerPin::Pin5 ? "5" : "2";
    switch (outcome.result) {
        case DrawerResult::Opened: return Fill(kDrawerOpened.in(language), {name, port, pin});
        case DrawerResult::Unchanged: return Fill(kDrawerUnchanged.in(language), {name, port, pin});
        case DrawerResult::NoSensor: return Fill(kDrawerNoSensor.in(language), {name, port, pin});
        case DrawerResult::NotSent: return Fill(kDrawerNotSent.in(language), {name, port, pin});
        case DrawerResult::SentAsJob: return Fill(kDrawerSentAsJob.in(language), {name, port, pin});
        case DrawerResult::Busy: return DescribeAnotherRun(language);
        case DrawerResult::JobFailed: break;
    }
    return Fill(kDrawerJobFailed.in(language), {outcome.job.failedStep, ErrorNumber(outcome.job.error, language)});
}

std::string DescribeDrawerTrial(const DrawerOutcome& first, const std::optional<DrawerOutcome>& second,
                                Language language) {
    if (second && first.result == DrawerResult::Unchanged && second->result == DrawerResult::Unchanged)
        return kDrawerNeither.in(language);
    return DescribeDrawerOutcome(second ? *second : first, language);
}

std::string AskToSendUnchecked(const TestReceiptOutcome& outcome, Language language) {
    return Fill(kAskNoStatus.in(language), {OutsideText(outcome.printerName), OutsideText(outcome.port)});
}

std::string DescribeForceHint(Language language) { return kForceHint.in(language); }

std::string AskToMovePrinter(const TestReceiptOutcome& outcome, const FoundPrinter& found, Language language) {
    const std::string serial = found.identity.serial.empty() ? kNoSerial.in(language) : OutsideText(found.identity.serial);
    return Fill(kAskToMove.in(language),
                {OutsideText(outcome.printerName), OutsideText(outcome.port),
                 outcome.address ? OutsideText(FormatAddress(*outcome.address)) : "", OutsideText(found.identity.model),
                 FormatIpv4(found.address), serial});
}

std::string DescribeMovedPrinterSearch(const MovedPrinterSearch& search, Language language) {
    switch (search.find) {
        case MovedPrinterFind::None:
        case MovedPrinterFind::One: return {};
        case MovedPrinterFind::AnswersAtItsAddress:
            return search.printers.empty() ? "" : Fill(kAnswersAgain.in(language), {FormatIpv4(search.printers[0].address)});
        case MovedPrinterFind::Failed: return Fill(kMovedSearchFailed.in(language), {ErrorNumber(search.error, language)});
        case MovedPrinterFind::Several: break;
    }
    std::string lines;
    for (const auto& printer : search.printers) {
        const std::string& serial = printer.identity.serial;
        lines += (lines.empty() ? "" : "\n") +
                 Fill(kMovedLine.in(language),
                      {FormatIpv4(printer.address), serial.empty() ? kNoSerial.in(language) : OutsideText(serial)});
    }
    return Fill(kSeveralMoved.in(language), {lines});
}

std::string DescribeFindHint(Language language) { return kFindHint.in(language); }

std::string DescribePrintJobReport(const PrintJobReport& report, std::uint32_t waitSeconds, Language language) {
    std::string text;
    switch (report.problem) {
        case JobProblem::None: return {};
        case JobProblem::SpoolerStep:
            return Fill(kStepFailed.in(language), {report.failedStep, ErrorNumber(report.error, language)});
        case JobProblem::StillQueued: text = Fill(kStillQueued.in(language), {std::to_string(waitSeconds)}); break;
        default:
            for (const auto& entry : kProblemTexts)
                if (entry.problem == report.problem) text = Fill(kNotPrinted.in(language), {entry.text.in(language)});
            break;
    }
    if (report.deleted)
        text += kJobDeleted.in(language);
    else if (report.deleteFailed) text += kJobNotDeleted.in(language);
    return text;
}

// ---- The command line's own lines -----------------------------------------

std::string DescribeWrongCommandLine(const std::string& reason, Language language) {
    return kWrongCommandLine.in(language) + reason;
}

std::string DescribeUnknownPort(const std::string& port, Language language) {
    return DescribeWrongCommandLine(kUnknownPort.in(language) + OutsideText(port), language);
}

// The subject is what was typed: escaped, and quoted in English (the
// Chinese texts quote it themselves).
std::string DescribeCliRefusal(const CliRefusal& refusal, Language language) {
    const bool quoted = refusal.problem == CliProblem::UnexpectedArgument || refusal.problem == CliProblem::UnknownModel;
    const std::string subject =
        quoted && language == Language::English ? QuotedText(refusal.subject) : OutsideText(refusal.subject);
    return Fill(At(kCliProblems, static_cast<std::size_t>(refusal.problem), language),
                {subject, OutsideText(refusal.other), DescribeAddressProblem(refusal.address, language)});
}

std::string DescribeNoAutomaticPort(Language language) { return kNoAutomaticPort.in(language); }

std::string DescribeRemoval(RemovalOutcome outcome, const std::string& name, Language language) {
    switch (outcome) {
        case RemovalOutcome::NotInstalled: return Fill(kNotInstalled.in(language), {name});
        case RemovalOutcome::Removed: return Fill(kRemoved.in(language), {name});
        case RemovalOutcome::DriverLeftInUse: return Fill(kRemovedDriverLeft.in(language), {name});
        case RemovalOutcome::Busy: return DescribeAnotherRun(language);
        case RemovalOutcome::NoAdministrator: return Fill(kNeedsAdministrator.in(language), {kRemovingNeeds.in(language)});
        case RemovalOutcome::Failed:
        case RemovalOutcome::LockFailed: break;
    }
    return {};
}

std::string DescribeFailed(const std::string& logPath, Language language) {
    return logPath.empty() ? std::string(kFailedNoLog.in(language)) : kFailed.in(language) + OutsideText(logPath);
}

std::string DescribeLogIs(const std::string& logPath, Language language) {
    return kLogIs.in(language) + OutsideText(logPath);
}

}  // namespace kelp
