// An in-memory Windows machine as the wizard sees it through Platform: a
// print spooler, a registry tree, a file system and the system queries,
// shaped like Wine 8 answers them (a 32-bit Windows 7 prefix by default).
//
// Every call is recorded in order, with its arguments rendered as text, so a
// test can assert the exact sequence of platform calls. Any operation that
// answers an error code can be told to fail with a chosen Windows error; an
// operation that fails that way changes nothing.
//
// Paths, registry keys and value names, printer, driver and port names are
// compared case-insensitively (ASCII letters folded), as Windows does;
// stored names keep the case they were given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

// One recorded platform call. `op` is the Platform method name. Arguments:
//   addPort / configurePort   owner (decimal), monitor or port name
//   printerDriverDirectory    environment
//   addPrinterDriver          version, name, environment, driverPath, dataFile,
//                             configFile, helpFile, dependentFiles (the raw
//                             bytes, embedded zeros included), monitorName,
//                             defaultDataType
//   addPrinter                printerName, portName, driverName,
//                             printProcessor, datatype
//   closePrinter              the printer's name for an open handle, "0" for
//                             none, "#<n>" for a closed or unknown handle
//   regOpenKey                root ("HKCU", "HKLM", "HKCC"), path, access
//                             ("Read", "QueryValue", "SetValue", "AllAccess")
//   regCreateKey              root, path
//   regSetString              key, name, text, byte count (text + its zero)
//   regSetDword               key, name, value (decimal)
//   regQueryValue             key, name, maxBytes
//   regEnumValue              key, index, maxNameBytes, maxDataBytes
//   regCloseKey               key
//   shellOpen                 path
//   versionQuery              "Extended" or "Plain"
//   currentDirectory          capacity
//   copyFile                  source, destination, "true"/"false"
//   sleep                     milliseconds
//   debugOutput               text
//   enumPorts, enumMonitors, enumPrinters, activeCodePage, isWow64Process: none
// A key argument is the root and the path the key was opened with
// ("HKLM\SOFTWARE\...\Ports"), or "#<n>" for a closed or unknown handle.
//
// `result` is the error the call answered (0 for success and for the calls
// that answer no error). Equality compares `op` and `args` only, so expected
// sequences are written as {op, {args...}}.
struct PlatformCall {
    std::string op;
    std::vector<std::string> args;
    WinError result = winerr::Success;

    friend bool operator==(const PlatformCall& a, const PlatformCall& b) {
        return a.op == b.op && a.args == b.args;
    }
};

std::ostream& operator<<(std::ostream& out, const PlatformCall& call);

class FakePlatform : public Platform {
public:
    using ArgsPredicate = std::function<bool(const std::vector<std::string>& args)>;

    FakePlatform();
    ~FakePlatform() override;

    // ---- Platform ----------------------------------------------------------
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
    Result<RegValue> regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) override;
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
    // A pure query, not recorded: the texts of a few codes, as a Windows
    // with both languages gives them; empty for any other code.
    std::string errorText(WinError error, Language language) override;
    WinError deletePrinter(const std::string& name) override;
    WinError deletePrinterDriver(const std::string& environment, const std::string& name,
                                 bool deleteUnusedFiles) override;
    Result<std::vector<DriverInfo3>> enumPrinterDrivers(const std::string& environment) override;
    WinError deleteFile(const std::string& path) override;
    Result<PrinterHandle> openPrinter(const std::string& name) override;
    Result<std::uint32_t> startRawDocument(PrinterHandle printer, const std::string& documentName) override;
    WinError writePrinter(PrinterHandle printer, const std::string& bytes) override;
    WinError endRawDocument(PrinterHandle printer) override;
    std::string tempDirectory() override;
    std::string moduleDirectory() override;
    std::string localTime() override;
    std::string userName() override;
    Result<std::uintptr_t> acquireNamedMutex(const std::string& name) override;
    void releaseNamedMutex(std::uintptr_t mutex) override;
    bool consoleWrite(const std::string& text) override;
    void messageBoxWithoutWindow(const std::string& title, const std::string& text) override;
    Result<LogFile> openLogFile(const std::string& path, bool createNew) override;
    WinError writeLogFile(std::uintptr_t file, const std::string& bytes) override;
    void closeLogFile(std::uintptr_t file) override;
    // Deletes the file the handle opened, wherever it is now, when that
    // opening made it (AccessDenied otherwise: the right to delete comes
    // with the making), and closes the handle in any case.
    WinError discardLogFile(std::uintptr_t file) override;
    bool runsElevated() override { return elevated_; }
    std::uint32_t processId() override { return 4242; }
    Result<PrivateMutex> acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) override;
    bool windowStationVisible() override { return windowStationVisible_; }
    std::optional<std::uint32_t> sessionId() override { return sessionId_; }
    // Answers the numbers of setRandomNumbers in turn (the last repeats),
    // else 1, 2, 3, ...; recorded without arguments.
    std::uint64_t randomNumber() override;
    Result<std::vector<UsbPrinterInterface>> usbPrinterInterfaces() override;
    Result<std::uint32_t> usbPrinterStatus(const std::string& portName) override;
    WinError setPrinterPort(const std::string& name, const std::string& port) override;
    Result<JobRecord> getJob(PrinterHandle printer, std::uint32_t jobId) override;
    WinError deleteJob(PrinterHandle printer, std::uint32_t jobId) override;
    // The file system's own resolution (as fullPath below); recorded with
    // the path; an empty path answers InvalidName.
    Result<std::string> fullPathName(const std::string& path) override;
    WinError addTcpIpPort(const TcpIpPortConfig& port) override;
    WinError deleteTcpIpPort(const std::string& portName) override;
    Result<TcpIpPortConfig> tcpIpPortConfig(const std::string& portName) override;
    // Recorded with the section and the timeout; answers success (every
    // window answered or was passed over) unless told to fail.
    WinError broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) override;
    // Recorded without arguments; answers setNativeMachine's value.
    std::optional<std::uint16_t> nativeMachine() override;

    // ---- Call recording ----------------------------------------------------
    const std::vector<PlatformCall>& calls() const { return calls_; }
    std::vector<PlatformCall> callsOf(const std::string& op) const;
    std::vector<std::string> ops() const;  // the op names in call order
    void clearCalls() { calls_.clear(); }

    // ---- Fault injection ---------------------------------------------------
    // `op` is a Platform method name that answers an error (not
    // activeCodePage, isWow64Process, sleep or debugOutput); any other name
    // throws std::invalid_argument. The rules are looked at in this order:
    // pending failNext of the op, then failWhen rules in the order they were
    // given, then failAlways. A call failed this way records its arguments,
    // answers the error (handle 0, empty value) and changes no state.
    void failNext(const std::string& op, WinError error, int times = 1);
    void failWhen(const std::string& op, ArgsPredicate predicate, WinError error);
    void failAlways(const std::string& op, WinError error);
    void clearFailures();

    // ---- Spooler -----------------------------------------------------------
    // Ports, in the spooler's order: COM1: to COM4:, FILE:, LPT1: to LPT3:,
    // each described as "Local Port".
    void setPorts(std::vector<PortRecord> ports) { ports_ = std::move(ports); }
    const std::vector<PortRecord>& ports() const { return ports_; }
    // Monitors: one, "Local Port".
    void setMonitors(std::vector<MonitorRecord> monitors) { monitors_ = std::move(monitors); }
    const std::vector<MonitorRecord>& monitors() const { return monitors_; }

    // What the monitor's add-port dialog does on the next addPort calls, one
    // entry per call, in order. addPortCreates: the user types this port name
    // and confirms; the port is appended to the ports and addPort succeeds (a
    // name that exists already is refused as the dialog refuses it: nothing
    // is added and addPort answers Cancelled). addPortAnswers: the dialog
    // ends with that error and creates nothing. With nothing queued, addPort
    // answers Cancelled (the user closed the dialog). addPort naming a
    // monitor that is not installed answers InvalidParameter and consumes
    // nothing.
    void addPortCreates(const std::string& name, const std::string& description = "Local Port");
    void addPortAnswers(WinError error);

    // configurePort answers Success for a port that exists and Cancelled for
    // any other name (Wine's "nothing to configure"); this overrides the
    // answer for one port name.
    void setConfigurePortAnswer(const std::string& portName, WinError error);

    // Driver directories per environment: "Windows NT x86" and "Windows x64"
    // under C:\windows\system32\spool\drivers. Setting one also creates the
    // folder in the file system; an empty one is answered as empty. Any
    // other environment answers winerr::InvalidEnvironment, in
    // printerDriverDirectory and addPrinterDriver alike.
    void setDriverDirectory(const std::string& environment, const std::string& directory);

    // When set, addPrinterDriver answers FileNotFound unless the record's
    // driver, data and configuration files (and its help file, when named)
    // exist, as Windows checks; Wine does not, and neither does the fake by
    // default.
    void setRequireDriverFiles(bool require) { requireDriverFiles_ = require; }

    // The environment whose drivers addPrinter looks a driver up in. By
    // default the machine's own: "Windows x64" when the WOW64 answer is 1,
    // else "Windows NT x86". Setting "Windows NT x86" on a 64-bit machine
    // mimics Wine's known limitation.
    void setPrinterEnvironment(std::optional<std::string> environment) { printerEnvironment_ = std::move(environment); }
    std::string printerEnvironment() const;

    // Drivers added per environment; adding a driver of an existing name in
    // the same environment replaces it (Windows updates the driver).
    std::vector<DriverInfo3> drivers(const std::string& environment) const;
    std::optional<DriverInfo3> findDriver(const std::string& environment, const std::string& name) const;

    // Printers, in the order they were added. addPrinter refuses an empty
    // name (InvalidPrinterName), an existing name (PrinterAlreadyExists) and
    // a driver unknown in printerEnvironment() (UnknownPrinterDriver), in
    // this order, and answers handle 0 then. The port is not checked (Wine
    // does not check it).
    void seedPrinter(const PrinterInfo2& printer);
    const std::vector<PrinterInfo2>& printers() const { return printers_; }
    std::optional<PrinterInfo2> findPrinter(const std::string& name) const;
    // Handles from addPrinter not yet closed. closePrinter of 0, of a closed
    // or of an unknown handle answers InvalidHandle.
    std::size_t openPrinterCount() const { return openPrinters_.size(); }

    // ---- Registry ----------------------------------------------------------
    // Seeding and inspection; none of these is recorded as a call. Paths are
    // backslash-separated, without a leading backslash. As on Windows,
    // HKEY_CURRENT_CONFIG is HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current
    // under another name, for the calls as for seeding and inspection.
    void seedKey(RegRoot root, const std::string& path);
    void seedValue(RegRoot root, const std::string& path, const std::string& name, RegValue value);
    void seedString(RegRoot root, const std::string& path, const std::string& name, const std::string& text);
    void seedDword(RegRoot root, const std::string& path, const std::string& name, std::uint32_t value);
    bool keyExists(RegRoot root, const std::string& path) const;
    std::optional<RegValue> regValue(RegRoot root, const std::string& path, const std::string& name) const;
    // The text of a REG_SZ value without its terminating zero; nothing when
    // the value is missing or has another type.
    std::optional<std::string> regString(RegRoot root, const std::string& path, const std::string& name) const;
    std::optional<std::uint32_t> regDword(RegRoot root, const std::string& path, const std::string& name) const;

    // Keys opened or created and not closed, rendered as key arguments.
    std::vector<std::string> openKeys() const;
    // Calls that passed a closed or unknown key handle (each answered
    // InvalidHandle), rendered as "op #<n>".
    const std::vector<std::string>& invalidKeyUses() const { return invalidKeyUses_; }

    // ---- File system -------------------------------------------------------
    // Absolute paths ("C:\..."), or relative to the current directory;
    // '/' is taken as '\', "." and ".." are resolved. Drive C: exists.
    void setCurrentDirectory(const std::string& directory);  // also creates it
    const std::string& currentDirectoryText() const { return currentDirectory_; }
    void makeDirectory(const std::string& path);  // with every missing parent
    void writeFile(const std::string& path, const std::string& contents);  // creates the folders
    bool fileExists(const std::string& path) const;
    bool directoryExists(const std::string& path) const;
    std::optional<std::string> fileContents(const std::string& path) const;
    // Every file, as its full path, sorted case-insensitively.
    std::vector<std::string> files() const;
    // Full path in the fake's spelling (for assertions on resolution).
    std::string fullPath(const std::string& path) const;

    // The sample driver package under `root` (default: the current
    // directory): "Printer Driver\x86" with the six common files and both
    // editions of every model's two files, "Printer Driver\x64" with the six
    // common files, and the USB driver installers. Each file holds a line
    // naming it. Returns the full paths written.
    std::vector<std::string> createSamplePackage(const std::string& root = {});

    // ---- System queries ----------------------------------------------------
    // Version: 6.1, platform 2 (Wine's default, Windows 7), both record
    // forms answered. A form marked unsupported fails with the given error
    // (GetVersionEx answers an unknown record size with InsufficientBuffer).
    void setVersion(OsVersionInfo version) { version_ = version; }
    void setVersionFormFails(VersionRecordForm form, WinError error = winerr::InsufficientBuffer);
    void setActiveCodePage(std::uint32_t codePage) { codePage_ = codePage; }  // default 936
    // The raw IsWow64Process answer; nothing = the function is absent.
    // Default 0 (32-bit Windows).
    void setWow64Answer(std::optional<int> answer) { wow64_ = answer; }
    // IsWow64Process2's native machine; nothing (the default, as on Windows
    // 7) = the function is absent. 0xAA64 is Windows on ARM.
    void setNativeMachine(std::optional<std::uint16_t> machine) { nativeMachine_ = machine; }

    // shellOpen starts a program only when its file exists in the fake file
    // system; a missing file answers FileNotFound (PathNotFound when its
    // folder is missing too), as ShellExecute reports SE_ERR_FNF / SE_ERR_PNF.
    // The full paths of the programs started, in order.
    const std::vector<std::string>& launchedPrograms() const { return launched_; }

    std::uint64_t totalSleepMs() const { return totalSleepMs_; }
    // Everything written to the debugger output, concatenated.
    const std::string& debugText() const { return debugText_; }

    // ---- Removal, test printing, command line -------------------------------
    // Recorded args: deletePrinter name; deletePrinterDriver environment,
    // name, "true"/"false"; enumPrinterDrivers environment; deleteFile path;
    // openPrinter name; startRawDocument / writePrinter / endRawDocument the
    // printer's name ("#<n>" for an unknown handle), plus the document name
    // or the bytes' count; acquireNamedMutex name; acquirePrivateMutex
    // namespace, name; openLogFile path, "new"/"existing"; writeLogFile,
    // closeLogFile and discardLogFile the file's path now (writeLogFile also
    // the byte count); releaseNamedMutex
    // name; consoleWrite text;
    // messageBoxWithoutWindow title, text; fullPathName path;
    // tempDirectory, moduleDirectory, localTime, userName: none.
    //
    // deletePrinterDriver refuses a driver a printer uses (3001,
    // ERROR_PRINTER_DRIVER_IN_USE) and an unknown one (UnknownPrinterDriver).
    // With deleteUnusedFiles it answers InvalidParameter, as Wine 8 does,
    // unless told the system supports it; then it also deletes the driver's
    // files (by base name, in the environment's driver directory and at the
    // paths recorded) that no other driver of the environment names.
    void setDeleteUnusedFilesSupported(bool supported) { deleteUnusedSupported_ = supported; }
    // A finished RAW job: the printer, the document name and its bytes. A
    // printer whose port is a file path (it holds ":\") also appends the
    // bytes to that file when the job ends.
    struct RawJob {
        std::string printer;
        std::string document;
        std::string bytes;
    };
    const std::vector<RawJob>& rawJobs() const { return rawJobs_; }
    void setTempDirectory(const std::string& folder);  // default C:\users\kelp\Temp, created
    void setModuleDirectory(const std::string& folder) { moduleDirectory_ = folder; }  // default C:\Kelp
    void setLocalTime(const std::string& time) { localTime_ = time; }  // default 2026-12-07 10:15:20
    void setUserName(const std::string& name) { userName_ = name; }    // default kelp
    // Another process holds the named mutex; "private:Kelp\\Installation" is
    // the mutex acquirePrivateMutex("Kelp", "Installation") takes.
    void holdMutexElsewhere(const std::string& name) { mutexesElsewhere_.insert(fold_(name)); }
    // The private namespace opens but its mutex cannot be opened: each
    // acquirePrivateMutex answers this error with namespaceOpened. (A
    // failure injected into acquirePrivateMutex is a namespace that cannot
    // be made.)
    void setPrivateMutexError(WinError error) { privateMutexError_ = error; }
    // Names of mutexes this process holds now.
    std::vector<std::string> heldMutexes() const;
    // Whether the process was started from a console (default: yes).
    void setConsole(bool present) { hasConsole_ = present; }
    const std::string& consoleText() const { return consoleText_; }
    // Title and text of each message box shown without a window.
    const std::vector<std::pair<std::string, std::string>>& windowlessBoxes() const { return windowlessBoxes_; }
    // What openLogFile finds at an existing file's name (default: one name,
    // no link, a trusted owner). A file open for the log refuses a second
    // opening with SharingViolation. A hard link's other name is not kept:
    // a test looks at the contents at the name it planted.
    void setFileFacts(const std::string& path, std::uint32_t links, bool reparsePoint, bool trustedOwner);
    std::size_t openLogFileCount() const { return openLogs_.size(); }
    // Another process renames a file: a handle open on it follows it, as a
    // Windows handle does; nothing is recorded.
    void moveFile(const std::string& from, const std::string& to);
    // A folder that turns out to be a link or a junction once a file in it
    // is open: openLogFile answers the file open with linkOnTheWay.
    void setLinkOnTheWay(const std::string& folder);
    // Without administrator rights acquirePrivateMutex cannot make the
    // namespace (AccessDenied, namespaceOpened false).
    void setElevated(bool elevated) { elevated_ = elevated; }  // default: yes
    void setWindowStationVisible(bool visible) { windowStationVisible_ = visible; }  // default: yes
    void setSessionId(std::optional<std::uint32_t> session) { sessionId_ = session; }  // default 1
    void setRandomNumbers(std::vector<std::uint64_t> numbers) {
        randomNumbers_ = std::move(numbers);
        randomCalls_ = 0;
    }
    // processId() answers 4242.

    // ---- USB printer interfaces, printer ports, jobs ------------------------
    // Recorded args: usbPrinterInterfaces none; setPrinterPort name, port;
    // getJob / deleteJob the printer's name, the job id. startRawDocument
    // answers job ids 1, 2, ... as a fresh spooler does.
    // The interfaces usbPrinterInterfaces answers (none by default).
    void setUsbPrinterInterfaces(std::vector<UsbPrinterInterface> list) { usbInterfaces_ = std::move(list); }
    // setPrinterPort answers success and leaves the printer where it was.
    void setPrinterPortIgnored(bool ignored) { printerPortIgnored_ = ignored; }
    // A printer's PRINTER_STATUS_* bits as enumPrinters reports them.
    void setPrinterStatus(const std::string& name, std::uint32_t status) { printerStatus_[fold_(name)] = status; }
    // The jobs in a printer's queue as enumPrinters reports them (cJobs).
    void setPrinterJobs(const std::string& name, std::uint32_t jobs) { printerJobs_[fold_(name)] = jobs; }
    // What usbPrinterStatus answers for a port (recorded arg: the port); a
    // port not set has no connected printer: 1167.
    void setUsbPrinterStatus(const std::string& port, Result<std::uint32_t> status) { usbStatus_[fold_(port)] = status; }
    // By default a job leaves the queue when its document ends, and getJob
    // then answers InvalidHandle, as Wine does. Scripted, the next job stays
    // queued: each getJob answers the next status (the last one repeats), a
    // nothing meaning the job has left the queue (InvalidParameter, as
    // Windows answers). deleteJob takes a queued job out of the queue.
    void scriptJobStates(std::vector<std::optional<std::uint32_t>> states) { jobScript_ = std::move(states); }
    // The ids of the jobs deleted through deleteJob.
    const std::vector<std::uint32_t>& deletedJobs() const { return deletedJobs_; }

    // ---- The Standard TCP/IP Port monitor ----------------------------------
    // Absent by default, as under Wine: addTcpIpPort and deleteTcpIpPort
    // then answer UnknownPort (1796, OpenPrinter's answer for the monitor's
    // name), and tcpIpPortConfig answers InvalidParameter for any port.
    // installTcpIpMonitor adds the monitor "Standard TCP/IP Port" to the
    // monitors. Its addTcpIpPort appends the port (description and monitor
    // "Standard TCP/IP Port") and refuses a name any port has with
    // AlreadyExists (183); deleteTcpIpPort removes one of its ports (another
    // name: UnknownPort); tcpIpPortConfig answers its ports' records,
    // InvalidParameter for another monitor's port, InvalidPrinterName for no
    // port of that name. Recorded args: addTcpIpPort name, host, TCP port,
    // "RAW"/"LPR", "SNMP on"/"SNMP off"; deleteTcpIpPort and tcpIpPortConfig
    // the port name.
    void installTcpIpMonitor();
    // A port the monitor has already (the monitor is installed with it).
    void seedTcpIpPort(const TcpIpPortConfig& port);
    std::optional<TcpIpPortConfig> findTcpIpPort(const std::string& name) const;

private:
    struct RegNode;
    struct OpenKey {
        RegNode* node;
        std::string label;  // "HKLM\path" as opened
        RegAccess access;
    };
    struct FailRule {
        std::string op;
        ArgsPredicate predicate;  // empty: any call
        WinError error;
        int remaining;            // -1: unlimited
    };
    struct AddPortStep {
        std::optional<PortRecord> port;  // nothing: the dialog ends with `error`
        WinError error;
    };
    struct FileEntry {
        std::string path;  // full path as first written
        std::string contents;
        std::uint32_t links = 1;
        bool reparsePoint = false;
        bool trustedOwner = true;
        std::uint64_t id = 0;  // the file's identity, kept when it is moved
    };
    struct OpenLog {
        std::uint64_t id;
        bool created;
    };
    struct ResolvedPath {
        std::string full;  // "C:\Kelp\Printer Driver"
        std::string key;   // the same, folded
        std::string parentKey;
    };

    // Records the call and answers the injected error for it, if any.
    WinError begin(const std::string& op, std::vector<std::string> args);
    // Notes the answer of the call recorded last.
    WinError finish(WinError error);

    RegNode& rootNode(RegRoot root) const;
    RegNode* findKey(RegRoot root, const std::string& path) const;
    RegNode* createKeyPath(RegRoot root, const std::string& path);
    const OpenKey* openKey(RegKey key) const;
    std::string keyLabel(RegKey key) const;
    enum class KeyUse { Read, Write, Close };
    // Looks up an open key for `use` by `op`; InvalidHandle (noted in
    // invalidKeyUses) for a closed or unknown handle, AccessDenied when the
    // key was not opened with the rights the use needs.
    WinError useKey(const std::string& op, RegKey key, KeyUse use, OpenKey*& out);

    std::optional<ResolvedPath> resolve(const std::string& path) const;
    WinError missingFileError(const ResolvedPath& path) const;

    std::vector<PlatformCall> calls_;
    std::vector<FailRule> failNext_;
    std::vector<FailRule> failWhen_;
    std::map<std::string, WinError> failAlways_;

    std::vector<PortRecord> ports_;
    std::vector<MonitorRecord> monitors_;
    std::deque<AddPortStep> addPortScript_;
    std::map<std::string, WinError> configureAnswers_;  // folded port name
    std::map<std::string, std::string> driverDirectories_;  // folded environment -> folder
    std::map<std::string, std::vector<DriverInfo3>> drivers_;  // folded environment
    bool requireDriverFiles_ = false;
    std::optional<std::string> printerEnvironment_;
    std::vector<PrinterInfo2> printers_;
    std::map<PrinterHandle, std::string> openPrinters_;
    PrinterHandle nextPrinter_ = 0x5000;

    std::unique_ptr<RegNode> roots_[2];  // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE
    RegNode* currentConfig_ = nullptr;   // HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current
    std::map<RegKey, OpenKey> openKeys_;
    RegKey nextKey_ = 0x100;
    std::vector<std::string> invalidKeyUses_;

    std::string currentDirectory_;
    std::map<std::string, FileEntry> files_;  // folded full path
    std::set<std::string> directories_;       // folded full paths
    std::vector<std::string> launched_;

    OsVersionInfo version_{6, 1, 2};
    std::optional<WinError> extendedFails_;
    std::optional<WinError> plainFails_;
    std::uint32_t codePage_ = 936;
    std::optional<int> wow64_ = 0;
    std::optional<std::uint16_t> nativeMachine_;
    std::uint64_t totalSleepMs_ = 0;
    std::string debugText_;

    static std::string fold_(const std::string& text);
    bool deleteUnusedSupported_ = false;
    struct OpenJob {
        std::string document;
        std::string bytes;
    };
    std::map<PrinterHandle, std::optional<OpenJob>> jobs_;  // openPrinter handles
    std::vector<RawJob> rawJobs_;
    std::string tempDirectory_;
    std::string moduleDirectory_ = "C:\\Kelp";
    std::string localTime_ = "2026-12-07 10:15:20";
    std::string userName_ = "kelp";
    std::set<std::string> mutexesElsewhere_;
    std::map<std::uintptr_t, std::string> heldMutexes_;
    std::uintptr_t nextMutex_ = 0x900;
    bool hasConsole_ = true;
    std::string consoleText_;
    std::vector<std::pair<std::string, std::string>> windowlessBoxes_;
    FileEntry* openLogEntry(std::uintptr_t file);
    std::string openLogName(std::uintptr_t file);  // its path, or "#<n>"
    std::map<std::uintptr_t, OpenLog> openLogs_;
    std::set<std::string> linkedFolders_;  // folded
    std::uint64_t nextFileId_ = 1;
    std::uintptr_t nextLog_ = 0xA00;
    bool elevated_ = true;
    bool windowStationVisible_ = true;
    std::optional<std::uint32_t> sessionId_ = 1;
    std::vector<std::uint64_t> randomNumbers_;
    std::uint64_t randomCalls_ = 0;
    WinError privateMutexError_ = winerr::Success;
    std::vector<UsbPrinterInterface> usbInterfaces_;
    bool printerPortIgnored_ = false;
    std::map<std::string, std::uint32_t> printerStatus_;  // folded printer name
    std::map<std::string, std::uint32_t> printerJobs_;    // folded printer name
    std::map<std::string, Result<std::uint32_t>> usbStatus_;  // folded port name
    std::vector<std::optional<std::uint32_t>> jobScript_;
    std::map<std::uint32_t, std::deque<std::optional<std::uint32_t>>> queuedJobs_;  // id -> states to come
    std::map<PrinterHandle, std::uint32_t> openJobIds_;
    std::uint32_t nextJob_ = 1;
    std::vector<std::uint32_t> deletedJobs_;
    bool tcpIpMonitor_ = false;
    std::map<std::string, TcpIpPortConfig> tcpIpPorts_;  // folded port name
};

}  // namespace kelp
