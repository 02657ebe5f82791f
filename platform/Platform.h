// The wizard's only view of the operating system: one function per operation
// it uses (spooler, registry, shell, system queries). Text is UTF-8 here; the
// Win32 implementation converts to UTF-16 and calls the W functions.
// Every result carries the Windows error code (0 = success) so that callers
// can report what failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Language.h"

namespace kelp {

using WinError = std::uint32_t;

// The Windows error codes the wizard looks at or reports.
namespace winerr {
constexpr WinError Success = 0;
constexpr WinError FileNotFound = 2;
constexpr WinError PathNotFound = 3;
constexpr WinError AccessDenied = 5;
constexpr WinError InvalidHandle = 6;
constexpr WinError NotEnoughMemory = 8;
constexpr WinError SharingViolation = 32;
constexpr WinError FileExists = 80;
constexpr WinError InvalidParameter = 87;
constexpr WinError InsufficientBuffer = 122;
constexpr WinError InvalidName = 123;
constexpr WinError BadPathname = 161;
constexpr WinError FilenameExcedRange = 206;
constexpr WinError MoreData = 234;
constexpr WinError NoMoreItems = 259;
constexpr WinError Directory = 267;  // ERROR_DIRECTORY: a folder where a file was meant
constexpr WinError StoppedOnSymlink = 681;
constexpr WinError Cancelled = 1223;
constexpr WinError Timeout = 1460;
constexpr WinError UnknownPort = 1796;
constexpr WinError UnknownPrinterDriver = 1797;
constexpr WinError InvalidPrinterName = 1801;
constexpr WinError PrinterAlreadyExists = 1802;
constexpr WinError InvalidEnvironment = 1805;
constexpr WinError PrinterDriverInUse = 3001;  // ERROR_PRINTER_DRIVER_IN_USE
constexpr WinError InstallFailure = 1603;
constexpr WinError InstallAlreadyRunning = 1618;
// Not a Windows code: a call failed and left no error code to say why.
constexpr WinError NoErrorCode = 0xFFFFFFFFu;
}  // namespace winerr

template <class T>
struct Result {
    T value{};
    WinError error = winerr::Success;
    bool ok() const { return error == winerr::Success; }
};

// A native window handle (HWND), opaque to the portable code.
using WindowHandle = std::uintptr_t;
// A printer handle from addPrinter; 0 means none.
using PrinterHandle = std::uintptr_t;
// An open registry key; 0 means none.
using RegKey = std::uintptr_t;

struct PortRecord {  // PORT_INFO_2: name, description and monitor
    std::string name;
    std::string description;  // empty when the spooler gives none
    std::string monitor = {};  // the port monitor's name; empty when the spooler gives none
};

// The port monitor of network printers' ports, by the name EnumMonitors
// gives it and OpenPrinter's ",XcvMonitor <name>" takes, whatever the
// system's language.
constexpr const char* TcpIpMonitorName = "Standard TCP/IP Port";

// The fields of a Standard TCP/IP port's record (PORT_DATA_1) that Kelp
// writes and reads.
struct TcpIpPortConfig {
    std::string portName;
    std::string host;               // a dotted IPv4 address or a host name
    std::uint32_t tcpPort = 9100;
    bool raw = true;                // the RAW protocol, else LPR
    bool snmp = false;
};

struct MonitorRecord {  // MONITOR_INFO_1
    std::optional<std::string> name;  // absent when the record has no name
};

struct PrinterRecord {  // PRINTER_INFO_2: the fields the wizard reads
    std::string name;
    std::string port;
    std::string driver;
    std::uint32_t status = 0;  // PRINTER_STATUS_* bits
    std::uint32_t jobs = 0;    // cJobs: the jobs in its queue
};

// A device interface of the USB printing driver's class
// (GUID_DEVINTERFACE_USBPRINT), as SetupAPI and the interface's registry
// key describe it.
struct UsbPrinterInterface {
    std::string baseName;          // "Base Name": "USB" for printer ports
    std::uint32_t portNumber = 0;  // "Port Number": 2 for USB002
    std::string instanceId;        // the device's instance id
    bool connected = false;        // listed with DIGCF_PRESENT
    std::string deviceId;          // the printer's IEEE 1284 id; empty where not read
    // Where the 1284 id was not read: the hardware id SetupAPI gives the
    // printer's own device node ("USBPRINT\\" + maker and model cut at 20
    // characters + a 4-character check sum); empty where there is none.
    std::string hardwareId = {};
};

struct JobRecord {  // JOB_INFO_1: the fields the test receipt follows
    std::uint32_t status = 0;  // JOB_STATUS_* bits
    std::string statusText;    // the port monitor's own words, when it gives any
};

struct DriverInfo3 {  // DRIVER_INFO_3
    std::uint32_t version = 0;
    std::string name;
    std::string environment;
    std::string driverPath;
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    // Consecutive zero-terminated texts closed by an empty text, exactly the
    // bytes handed to the spooler (embedded '\0' included).
    std::string dependentFiles;
    std::string monitorName;
    std::string defaultDataType;
};

struct PrinterInfo2 {  // PRINTER_INFO_2: the fields the wizard fills
    std::string printerName;
    std::string portName;
    std::string driverName;
    std::string printProcessor;
    std::string datatype;
};

enum class RegRoot { CurrentUser, LocalMachine, CurrentConfig };

enum class RegAccess { Read, QueryValue, SetValue, AllAccess };

constexpr std::uint32_t RegSz = 1;     // REG_SZ
constexpr std::uint32_t RegDword = 4;  // REG_DWORD

struct RegValue {
    std::uint32_t type = 0;
    // Text values (REG_SZ, REG_EXPAND_SZ) as UTF-8 with their terminating
    // zero; any other type as the raw bytes stored.
    std::string data;
};

struct RegEnumEntry {
    std::string name;
    std::uint32_t type = 0;
    std::string data;  // as in RegValue: text values carry their terminating zero
};

// The two forms of the version record: OSVERSIONINFOEX and plain OSVERSIONINFO.
enum class VersionRecordForm { Extended, Plain };

// An open log file and what lies at its name: how many names (hard links)
// the file has, whether the name is a reparse point (a symbolic link or a
// junction, opened itself rather than followed), and whether the file is
// owned by SYSTEM, the Administrators group or the account this process
// runs as; whether this opening made the file, and whether a folder on its
// way turned out to be a link or a junction (the file's final path is not
// the one asked for: a folder was swapped after it was looked at).
struct LogFile {
    std::uintptr_t handle = 0;
    std::uint32_t links = 1;
    bool reparsePoint = false;
    bool trustedOwner = true;
    bool created = false;
    bool linkOnTheWay = false;
};

// A mutex taken in a private namespace; namespaceOpened says whether the
// namespace could be made or opened, also when the mutex was not taken.
struct PrivateMutex {
    std::uintptr_t handle = 0;
    bool namespaceOpened = false;
};

struct OsVersionInfo {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t platformId = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Print spooler, local machine.
    virtual Result<std::vector<PortRecord>> enumPorts() = 0;
    virtual Result<std::vector<MonitorRecord>> enumMonitors() = 0;
    virtual WinError addPort(WindowHandle owner, const std::string& monitorName) = 0;
    virtual WinError configurePort(WindowHandle owner, const std::string& portName) = 0;
    virtual Result<std::vector<PrinterRecord>> enumPrinters() = 0;
    virtual Result<std::string> printerDriverDirectory(const std::string& environment) = 0;
    virtual WinError addPrinterDriver(const DriverInfo3& driver) = 0;
    virtual Result<PrinterHandle> addPrinter(const PrinterInfo2& printer) = 0;
    virtual WinError closePrinter(PrinterHandle printer) = 0;

    // Registry. Keys are opened, used and closed within one step.
    virtual Result<RegKey> regOpenKey(RegRoot root, const std::string& path, RegAccess access) = 0;
    virtual Result<RegKey> regCreateKey(RegRoot root, const std::string& path) = 0;
    virtual WinError regSetString(RegKey key, const std::string& name, const std::string& value) = 0;
    virtual WinError regSetDword(RegKey key, const std::string& name, std::uint32_t value) = 0;
    // Reads at most maxBytes of the value; a larger value fails with MoreData.
    virtual Result<RegValue> regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) = 0;
    // Value number index; a name or datum larger than its limit fails with
    // MoreData, the end of the values with NoMoreItems.
    virtual Result<RegEnumEntry> regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                              std::size_t maxDataBytes) = 0;
    virtual WinError regCloseKey(RegKey key) = 0;

    // Shell: starts a program with the verb "open", shown normally.
    virtual WinError shellOpen(const std::string& path) = 0;

    // System queries.
    virtual Result<OsVersionInfo> versionQuery(VersionRecordForm form) = 0;
    virtual std::uint32_t activeCodePage() = 0;
    // The current directory; fails with InsufficientBuffer when it does not
    // fit in capacity characters (terminating zero included).
    virtual Result<std::string> currentDirectory(std::size_t capacity) = 0;
    // IsWow64Process for the current process, looked up at run time: absent
    // when the system does not have the function, else the raw BOOL answer.
    virtual std::optional<int> isWow64Process() = 0;
    virtual WinError copyFile(const std::string& source, const std::string& destination, bool failIfExists) = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    virtual void debugOutput(const std::string& text) = 0;
    // The system's own text for a Windows error code, in the wizard's
    // language where the system has it (language 1: English, else
    // Simplified Chinese), otherwise in the system's; no line breaks at the
    // end. Empty when the system has no text for the code.
    virtual std::string errorText(WinError error, Language language) = 0;

    // ---- Removal, test printing and the command line's own needs ----------
    // DeletePrinter on the printer of that name (opened with full access).
    virtual WinError deletePrinter(const std::string& name) = 0;
    // DeletePrinterDriverExW with DPD_DELETE_UNUSED_FILES when
    // deleteUnusedFiles, else plain DeletePrinterDriverW (files stay).
    virtual WinError deletePrinterDriver(const std::string& environment, const std::string& name,
                                         bool deleteUnusedFiles) = 0;
    // The drivers of an environment as DRIVER_INFO_3 records, the files as
    // the spooler reports them (full paths).
    virtual Result<std::vector<DriverInfo3>> enumPrinterDrivers(const std::string& environment) = 0;
    // A folder is not deleted: it answers Directory.
    virtual WinError deleteFile(const std::string& path) = 0;
    // A RAW job: openPrinter, startRawDocument (StartDocPrinter with the
    // datatype "RAW"), writePrinter, endRawDocument (EndDocPrinter);
    // closePrinter closes the handle.
    virtual Result<PrinterHandle> openPrinter(const std::string& name) = 0;
    // Answers the job id the spooler gave the document.
    virtual Result<std::uint32_t> startRawDocument(PrinterHandle printer, const std::string& documentName) = 0;
    virtual WinError writePrinter(PrinterHandle printer, const std::string& bytes) = 0;
    virtual WinError endRawDocument(PrinterHandle printer) = 0;
    // The account's temporary folder (for SYSTEM the system's own, where the
    // system has one) and the folder of Kelp.exe, without a
    // trailing backslash; empty when the system does not tell.
    virtual std::string tempDirectory() = 0;
    virtual std::string moduleDirectory() = 0;
    // Local time as "YYYY-MM-DD hh:mm:ss"; the account the process runs as.
    virtual std::string localTime() = 0;
    virtual std::string userName() = 0;
    // A system-wide named mutex, taken without waiting: the handle, or
    // InstallAlreadyRunning when another process holds it. One abandoned by
    // a process that ended is taken.
    virtual Result<std::uintptr_t> acquireNamedMutex(const std::string& name) = 0;
    virtual void releaseNamedMutex(std::uintptr_t mutex) = 0;
    // Writes text to the console of the process that started this one;
    // false, and nothing written, when there is none.
    virtual bool consoleWrite(const std::string& text) = 0;
    // A message box with no owner window.
    virtual void messageBoxWithoutWindow(const std::string& title, const std::string& text) = 0;

    // ---- The run's log, the lock, the window station -----------------------
    // Opens a file for appending, shared for reading only, without following
    // a link at its name: with createNew only a file that does not exist yet
    // (FileExists otherwise), else an existing one or a new one. Where the
    // system tells a handle's final path, a folder on the way that is a link
    // or a junction answers StoppedOnSymlink when it is seen before the file
    // is opened (nothing is made then), and linkOnTheWay when it is seen
    // after. A file this opening made keeps the right to delete it, and
    // nobody can rename or delete it while it is open.
    virtual Result<LogFile> openLogFile(const std::string& path, bool createNew) = 0;
    virtual WinError writeLogFile(std::uintptr_t file, const std::string& bytes) = 0;
    virtual void closeLogFile(std::uintptr_t file) = 0;
    // Deletes a log file this process made through its open handle (the
    // delete disposition), whatever name leads to it now, and closes the
    // handle, also when the file cannot be deleted. Never by a name: a file
    // swapped in at its name is not touched.
    virtual WinError discardLogFile(std::uintptr_t file) = 0;
    // Whether the process has administrator rights (elevated, or SYSTEM).
    virtual bool runsElevated() = 0;
    virtual std::uint32_t processId() = 0;
    // A mutex in a private namespace whose boundary holds the Administrators
    // group, namespace and mutex open to SYSTEM and the Administrators only,
    // taken without waiting, as acquireNamedMutex takes its mutex;
    // releaseNamedMutex releases it. InstallAlreadyRunning when another
    // process holds it; namespaceOpened false where the namespace cannot be
    // made or opened.
    virtual Result<PrivateMutex> acquirePrivateMutex(const std::string& namespaceName,
                                                     const std::string& mutexName) = 0;
    // Whether the process's window station is the visible one (WSF_VISIBLE);
    // false when the system cannot tell.
    virtual bool windowStationVisible() = 0;
    // The process's Terminal Services session (ProcessIdToSessionId);
    // nothing when the system does not tell.
    virtual std::optional<std::uint32_t> sessionId() = 0;
    // A number from the system's random generator, for names nobody can
    // guess beforehand.
    virtual std::uint64_t randomNumber() = 0;
    // ---- USB printer ports, moving a printer, following a job --------------
    // The USB printing driver's interfaces, connected or not, each with its
    // registry key's base name and port number, and, for a connected one,
    // the IEEE 1284 id where the device answers it.
    virtual Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() = 0;
    // The USB printer class's status byte (IOCTL_USBPRINT_GET_LPT_STATUS:
    // 0x20 paper empty, 0x10 selected, 0x08 not error) of the printer
    // connected to a USB port ("USB001"), asked through its device
    // interface. Fails with 1167 when no connected interface has that port,
    // else with the device's open or the request's error.
    virtual Result<std::uint32_t> usbPrinterStatus(const std::string& portName) = 0;
    // SetPrinter level 2 on the printer of that name with a new port.
    virtual WinError setPrinterPort(const std::string& name, const std::string& port) = 0;
    // GetJob level 1 for a job of an open printer; a job that has left the
    // queue fails (87 on Windows, 6 under Wine).
    virtual Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) = 0;
    // SetJob with JOB_CONTROL_DELETE.
    virtual WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) = 0;
    // GetFullPathNameW: what Windows takes path to mean, as an absolute path
    // ("." and ".." resolved, '/' read as '\'); the file need not exist.
    virtual Result<std::string> fullPathName(const std::string& path) = 0;

    // ---- The Standard TCP/IP Port monitor (XcvData) -------------------------
    // "AddPort" through ",XcvMonitor Standard TCP/IP Port": the monitor's own
    // status, or OpenPrinter's error where there is no such monitor. Never
    // handed to another monitor.
    virtual WinError addTcpIpPort(const TcpIpPortConfig& port) = 0;
    // "DeletePort" through the same monitor.
    virtual WinError deleteTcpIpPort(const std::string& portName) = 0;
    // "GetConfigInfo" on ",XcvPort <portName>": where the port points.
    virtual Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) = 0;

    // ---- The default printer, the machine ------------------------------------
    // WM_SETTINGCHANGE to every top-level window (HWND_BROADCAST), lParam the
    // section's name ("windows" when the default printer changed), through
    // SendMessageTimeout with SMTO_ABORTIFHUNG: a window that does not answer
    // is passed over, one that is slow is waited for timeoutMs at most.
    // Timeout (1460) when the sending timed out, another code when it failed.
    virtual WinError broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) = 0;
    // The machine's own architecture as IsWow64Process2 (looked up at run
    // time) gives it, an IMAGE_FILE_MACHINE_* value (0xAA64 for ARM64);
    // absent when the system does not have the function or it fails.
    virtual std::optional<std::uint16_t> nativeMachine() = 0;
};

}  // namespace kelp
