#include "fake/FakePlatform.h"

#include "platform/ForwardingPlatform.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace kelp {

namespace {

constexpr std::uint32_t RegExpandSz = 2;  // REG_EXPAND_SZ
constexpr std::size_t MaxPath = 260;      // MAX_PATH, terminating zero included
constexpr WinError kDeviceNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED

const char* const X86 = "Windows NT x86";
const char* const X64 = "Windows x64";

std::string fold(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool sameName(const std::string& a, const std::string& b) { return fold(a) == fold(b); }

// Length of UTF-8 text in UTF-16 units, the measure the W functions use.
// A byte that does not start a complete sequence counts as one unit.
std::size_t utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (c >= 0xF0 && c < 0xF8) {
            length = 4;
        } else if (c >= 0xE0) {
            length = 3;
        } else if (c >= 0xC0) {
            length = 2;
        }
        if (c >= 0xF8 || i + length > text.size()) length = 1;
        units += length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

std::string rootName(RegRoot root) {
    switch (root) {
    case RegRoot::CurrentUser: return "HKCU";
    case RegRoot::LocalMachine: return "HKLM";
    case RegRoot::CurrentConfig: return "HKCC";
    }
    return "?";
}

std::string accessName(RegAccess access) {
    switch (access) {
    case RegAccess::Read: return "Read";
    case RegAccess::QueryValue: return "QueryValue";
    case RegAccess::SetValue: return "SetValue";
    case RegAccess::AllAccess: return "AllAccess";
    }
    return "?";
}

std::size_t rootIndex(RegRoot root) {
    switch (root) {
    case RegRoot::CurrentUser: return 0;
    case RegRoot::LocalMachine: return 1;
    case RegRoot::CurrentConfig: break;  // no tree of its own: see rootNode
    }
    return 1;
}

// Splits a registry path into key names. One trailing backslash is
// accepted; an empty name elsewhere (leading or doubled backslash) is not.
std::optional<std::vector<std::string>> splitKeyPath(const std::string& path) {
    std::vector<std::string> names;
    if (path.empty()) return names;
    std::string text = path;
    if (text.back() == '\\') text.pop_back();
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\\', start);
        std::string name = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty()) return std::nullopt;
        names.push_back(std::move(name));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

// A data size as RegQueryValueEx and RegEnumValue measure it: text types in
// UTF-16 units (their terminating zero is part of the stored data), other
// types in bytes.
std::size_t dataSize(const RegValue& value) {
    if (value.type == RegSz || value.type == RegExpandSz) return utf16Length(value.data);
    return value.data.size();
}

std::string dwordBytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

bool isDriveSpec(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::vector<std::string> splitPath(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\\', start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

// Root ("C:\" or "\\") and the names below it of an absolute path.
std::optional<std::pair<std::string, std::vector<std::string>>> splitAbsolute(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return std::make_pair(std::string("\\\\"), splitPath(path.substr(2)));
    if (isDriveSpec(path) && path.size() >= 3 && path[2] == '\\') {
        const char drive = static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
        return std::make_pair(std::string(1, drive) + ":\\", splitPath(path.substr(3)));
    }
    return std::nullopt;
}

std::string joinPath(const std::string& root, const std::vector<std::string>& names) {
    std::string full = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) full += '\\';
        full += names[i];
    }
    return full;
}

std::vector<std::string> driverArgs(const DriverInfo3& d) {
    return {std::to_string(d.version), d.name,     d.environment,    d.driverPath,  d.dataFile,
            d.configFile,              d.helpFile, d.dependentFiles, d.monitorName, d.defaultDataType};
}

// The op names that answer an error and can therefore be told to fail:
// those the forwarding base lists as answering one.
bool Failable(const std::string& op) {
    for (const auto& info : kPlatformOps)
        if (info.answersError && info.name == op) return true;
    return false;
}

void checkFailable(const std::string& op, WinError error) {
    if (!Failable(op)) throw std::invalid_argument("FakePlatform: no failable operation " + op);
    if (error == winerr::Success) throw std::invalid_argument("FakePlatform: failing " + op + " with error 0");
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const PlatformCall& call) {
    out << call.op << '(';
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        if (i > 0) out << ", ";
        out << '"';
        for (char c : call.args[i]) {
            if (c == '\0') {
                out << "\\0";
            } else {
                out << c;
            }
        }
        out << '"';
    }
    out << ')';
    if (call.result != winerr::Success) out << " -> " << call.result;
    return out;
}

struct FakePlatform::RegNode {
    std::map<std::string, std::unique_ptr<RegNode>> children;  // folded name
    std::vector<std::pair<std::string, RegValue>> values;       // insertion order

    std::pair<std::string, RegValue>* findValue(const std::string& name) {
        for (auto& value : values) {
            if (sameName(value.first, name)) return &value;
        }
        return nullptr;
    }
    void setValue(const std::string& name, RegValue value) {
        if (auto* existing = findValue(name)) {
            existing->second = std::move(value);
        } else {
            values.emplace_back(name, std::move(value));
        }
    }
};

FakePlatform::FakePlatform() {
    for (auto& root : roots_) root = std::make_unique<RegNode>();
    currentConfig_ = createKeyPath(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");
    for (const char* name : {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"}) {
        ports_.push_back({name, "Local Port"});
    }
    monitors_.push_back({std::string("Local Port")});
    directories_.insert("c:\\");
    setDriverDirectory(X86, "C:\\windows\\system32\\spool\\drivers\\w32x86");
    setDriverDirectory(X64, "C:\\windows\\system32\\spool\\drivers\\x64");
    setCurrentDirectory("C:\\Kelp");
}

FakePlatform::~FakePlatform() = default;

// ---- Recording and fault injection ------------------------------------------

WinError FakePlatform::begin(const std::string& op, std::vector<std::string> args) {
    // Only an operation the forwarding base lists is recorded, so that none
    // can be left out where the list is used.
    static const std::set<std::string_view> known = [] {
        std::set<std::string_view> names;
        for (const auto& info : kPlatformOps) names.insert(info.name);
        return names;
    }();
    if (known.count(op) == 0) throw std::logic_error("FakePlatform: " + op + " is not in KELP_PLATFORM_OPERATIONS");
    calls_.push_back({op, std::move(args), winerr::Success});
    const auto& recordedArgs = calls_.back().args;
    WinError error = winerr::Success;
    for (auto it = failNext_.begin(); it != failNext_.end(); ++it) {
        if (it->op == op) {
            error = it->error;
            if (--it->remaining == 0) failNext_.erase(it);
            break;
        }
    }
    if (error == winerr::Success) {
        for (const auto& rule : failWhen_) {
            if (rule.op == op && rule.predicate(recordedArgs)) {
                error = rule.error;
                break;
            }
        }
    }
    if (error == winerr::Success) {
        const auto always = failAlways_.find(op);
        if (always != failAlways_.end()) error = always->second;
    }
    return finish(error);
}

WinError FakePlatform::finish(WinError error) {
    calls_.back().result = error;
    return error;
}

std::vector<PlatformCall> FakePlatform::callsOf(const std::string& op) const {
    std::vector<PlatformCall> found;
    for (const auto& call : calls_) {
        if (call.op == op) found.push_back(call);
    }
    return found;
}

std::vector<std::string> FakePlatform::ops() const {
    std::vector<std::string> names;
    for (const auto& call : calls_) names.push_back(call.op);
    return names;
}

void FakePlatform::failNext(const std::string& op, WinError error, int times) {
    checkFailable(op, error);
    if (times <= 0) throw std::invalid_argument("FakePlatform: failNext times must be positive");
    failNext_.push_back({op, {}, error, times});
}

void FakePlatform::failWhen(const std::string& op, ArgsPredicate predicate, WinError error) {
    checkFailable(op, error);
    if (!predicate) throw std::invalid_argument("FakePlatform: failWhen without a predicate");
    failWhen_.push_back({op, std::move(predicate), error, -1});
}

void FakePlatform::failAlways(const std::string& op, WinError error) {
    checkFailable(op, error);
    failAlways_[op] = error;
}

void FakePlatform::clearFailures() {
    failNext_.clear();
    failWhen_.clear();
    failAlways_.clear();
}

// ---- Spooler ----------------------------------------------------------------

Result<std::vector<PortRecord>> FakePlatform::enumPorts() {
    if (WinError e = begin("enumPorts", {})) return {{}, e};
    return {ports_, winerr::Success};
}

Result<std::vector<MonitorRecord>> FakePlatform::enumMonitors() {
    if (WinError e = begin("enumMonitors", {})) return {{}, e};
    return {monitors_, winerr::Success};
}

void FakePlatform::addPortCreates(const std::string& name, const std::string& description) {
    addPortScript_.push_back({PortRecord{name, description}, winerr::Success});
}

void FakePlatform::addPortAnswers(WinError error) { addPortScript_.push_back({std::nullopt, error}); }

WinError FakePlatform::addPort(WindowHandle owner, const std::string& monitorName) {
    if (WinError e = begin("addPort", {std::to_string(owner), monitorName})) return e;
    const bool installed = std::any_of(monitors_.begin(), monitors_.end(), [&](const MonitorRecord& m) {
        return m.name && sameName(*m.name, monitorName);
    });
    if (!installed) return finish(winerr::InvalidParameter);
    if (addPortScript_.empty()) return finish(winerr::Cancelled);
    AddPortStep step = std::move(addPortScript_.front());
    addPortScript_.pop_front();
    if (!step.port) return finish(step.error);
    const bool exists = std::any_of(ports_.begin(), ports_.end(),
                                    [&](const PortRecord& p) { return sameName(p.name, step.port->name); });
    if (exists) return finish(winerr::Cancelled);
    ports_.push_back(std::move(*step.port));
    return finish(winerr::Success);
}

void FakePlatform::setConfigurePortAnswer(const std::string& portName, WinError error) {
    configureAnswers_[fold(portName)] = error;
}

WinError FakePlatform::configurePort(WindowHandle owner, const std::string& portName) {
    if (WinError e = begin("configurePort", {std::to_string(owner), portName})) return e;
    const auto answer = configureAnswers_.find(fold(portName));
    if (answer != configureAnswers_.end()) return finish(answer->second);
    const bool exists =
        std::any_of(ports_.begin(), ports_.end(), [&](const PortRecord& p) { return sameName(p.name, portName); });
    return finish(exists ? winerr::Success : winerr::Cancelled);
}

Result<std::vector<PrinterRecord>> FakePlatform::enumPrinters() {
    if (WinError e = begin("enumPrinters", {})) return {{}, e};
    std::vector<PrinterRecord> records;
    for (const auto& printer : printers_) {
        const auto status = printerStatus_.find(fold(printer.printerName));
        const auto jobs = printerJobs_.find(fold(printer.printerName));
        records.push_back({printer.printerName, printer.portName, printer.driverName,
                           status == printerStatus_.end() ? 0u : status->second,
                           jobs == printerJobs_.end() ? 0u : jobs->second});
    }
    return {records, winerr::Success};
}

void FakePlatform::setDriverDirectory(const std::string& environment, const std::string& directory) {
    driverDirectories_[fold(environment)] = directory;
    if (!directory.empty()) makeDirectory(directory);  // an empty answer is answered as it is
}

Result<std::string> FakePlatform::printerDriverDirectory(const std::string& environment) {
    if (WinError e = begin("printerDriverDirectory", {environment})) return {{}, e};
    const auto found = driverDirectories_.find(fold(environment));
    if (found == driverDirectories_.end()) return {{}, finish(winerr::InvalidEnvironment)};
    return {found->second, winerr::Success};
}

WinError FakePlatform::addPrinterDriver(const DriverInfo3& driver) {
    if (WinError e = begin("addPrinterDriver", driverArgs(driver))) return e;
    const std::string environment = fold(driver.environment);
    if (driverDirectories_.count(environment) == 0) return finish(winerr::InvalidEnvironment);
    if (requireDriverFiles_) {
        for (const std::string* file : {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile}) {
            if (file == &driver.helpFile && file->empty()) continue;
            if (!fileExists(*file)) return finish(winerr::FileNotFound);
        }
    }
    auto& list = drivers_[environment];
    const auto existing =
        std::find_if(list.begin(), list.end(), [&](const DriverInfo3& d) { return sameName(d.name, driver.name); });
    if (existing != list.end()) {
        *existing = driver;
    } else {
        list.push_back(driver);
    }
    return winerr::Success;
}

std::string FakePlatform::printerEnvironment() const {
    if (printerEnvironment_) return *printerEnvironment_;
    return wow64_ && *wow64_ == 1 ? X64 : X86;
}

std::vector<DriverInfo3> FakePlatform::drivers(const std::string& environment) const {
    const auto found = drivers_.find(fold(environment));
    return found == drivers_.end() ? std::vector<DriverInfo3>{} : found->second;
}

std::optional<DriverInfo3> FakePlatform::findDriver(const std::string& environment, const std::string& name) const {
    for (const auto& driver : drivers(environment)) {
        if (sameName(driver.name, name)) return driver;
    }
    return std::nullopt;
}

Result<PrinterHandle> FakePlatform::addPrinter(const PrinterInfo2& printer) {
    if (WinError e = begin("addPrinter", {printer.printerName, printer.portName, printer.driverName,
                                          printer.printProcessor, printer.datatype})) {
        return {0, e};
    }
    if (printer.printerName.empty()) return {0, finish(winerr::InvalidPrinterName)};
    if (findPrinter(printer.printerName)) return {0, finish(winerr::PrinterAlreadyExists)};
    if (!findDriver(printerEnvironment(), printer.driverName)) return {0, finish(winerr::UnknownPrinterDriver)};
    printers_.push_back(printer);
    const PrinterHandle handle = nextPrinter_++;
    openPrinters_[handle] = printer.printerName;
    return {handle, winerr::Success};
}

WinError FakePlatform::closePrinter(PrinterHandle printer) {
    const auto open = openPrinters_.find(printer);
    std::string label = printer == 0 ? "0" : "#" + std::to_string(printer);
    if (open != openPrinters_.end()) label = open->second;
    if (WinError e = begin("closePrinter", {label})) return e;
    if (open == openPrinters_.end()) return finish(winerr::InvalidHandle);
    openPrinters_.erase(open);
    return winerr::Success;
}

void FakePlatform::seedPrinter(const PrinterInfo2& printer) { printers_.push_back(printer); }

std::optional<PrinterInfo2> FakePlatform::findPrinter(const std::string& name) const {
    for (const auto& printer : printers_) {
        if (sameName(printer.printerName, name)) return printer;
    }
    return std::nullopt;
}

// ---- Registry ---------------------------------------------------------------

// HKEY_CURRENT_CONFIG is, as on Windows, the current hardware profile's key
// under HKEY_LOCAL_MACHINE: what is written under one is read under the other.
FakePlatform::RegNode& FakePlatform::rootNode(RegRoot root) const {
    if (root == RegRoot::CurrentConfig) return *currentConfig_;
    return *roots_[rootIndex(root)];
}

FakePlatform::RegNode* FakePlatform::findKey(RegRoot root, const std::string& path) const {
    const auto names = splitKeyPath(path);
    if (!names) return nullptr;
    RegNode* node = &rootNode(root);
    for (const auto& name : *names) {
        const auto child = node->children.find(fold(name));
        if (child == node->children.end()) return nullptr;
        node = child->second.get();
    }
    return node;
}

FakePlatform::RegNode* FakePlatform::createKeyPath(RegRoot root, const std::string& path) {
    const auto names = splitKeyPath(path);
    if (!names) return nullptr;
    RegNode* node = &rootNode(root);
    for (const auto& name : *names) {
        auto& child = node->children[fold(name)];
        if (!child) child = std::make_unique<RegNode>();
        node = child.get();
    }
    return node;
}

std::string FakePlatform::keyLabel(RegKey key) const {
    const auto open = openKeys_.find(key);
    return open == openKeys_.end() ? "#" + std::to_string(key) : open->second.label;
}

WinError FakePlatform::useKey(const std::string& op, RegKey key, KeyUse use, OpenKey*& out) {
    const auto open = openKeys_.find(key);
    if (open == openKeys_.end()) {
        invalidKeyUses_.push_back(op + " #" + std::to_string(key));
        return winerr::InvalidHandle;
    }
    const RegAccess access = open->second.access;
    if (use == KeyUse::Write && (access == RegAccess::Read || access == RegAccess::QueryValue)) {
        return winerr::AccessDenied;
    }
    if (use == KeyUse::Read && access == RegAccess::SetValue) return winerr::AccessDenied;
    out = &open->second;
    return winerr::Success;
}

Result<RegKey> FakePlatform::regOpenKey(RegRoot root, const std::string& path, RegAccess access) {
    if (WinError e = begin("regOpenKey", {rootName(root), path, accessName(access)})) return {0, e};
    if (!splitKeyPath(path)) return {0, finish(winerr::BadPathname)};
    RegNode* node = findKey(root, path);
    if (!node) return {0, finish(winerr::FileNotFound)};
    const RegKey key = nextKey_++;
    openKeys_[key] = {node, path.empty() ? rootName(root) : rootName(root) + "\\" + path, access};
    return {key, winerr::Success};
}

Result<RegKey> FakePlatform::regCreateKey(RegRoot root, const std::string& path) {
    if (WinError e = begin("regCreateKey", {rootName(root), path})) return {0, e};
    RegNode* node = createKeyPath(root, path);
    if (!node) return {0, finish(winerr::BadPathname)};
    const RegKey key = nextKey_++;
    openKeys_[key] = {node, path.empty() ? rootName(root) : rootName(root) + "\\" + path, RegAccess::AllAccess};
    return {key, winerr::Success};
}

WinError FakePlatform::regSetString(RegKey key, const std::string& name, const std::string& value) {
    std::string data = value;
    data.push_back('\0');
    if (WinError e = begin("regSetString", {keyLabel(key), name, value, std::to_string(data.size())})) return e;
    OpenKey* open = nullptr;
    if (WinError e = useKey("regSetString", key, KeyUse::Write, open)) return finish(e);
    open->node->setValue(name, {RegSz, std::move(data)});
    return winerr::Success;
}

WinError FakePlatform::regSetDword(RegKey key, const std::string& name, std::uint32_t value) {
    if (WinError e = begin("regSetDword", {keyLabel(key), name, std::to_string(value)})) return e;
    OpenKey* open = nullptr;
    if (WinError e = useKey("regSetDword", key, KeyUse::Write, open)) return finish(e);
    open->node->setValue(name, {RegDword, dwordBytes(value)});
    return winerr::Success;
}

Result<RegValue> FakePlatform::regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) {
    if (WinError e = begin("regQueryValue", {keyLabel(key), name, std::to_string(maxBytes)})) return {{}, e};
    OpenKey* open = nullptr;
    if (WinError e = useKey("regQueryValue", key, KeyUse::Read, open)) return {{}, finish(e)};
    const auto* value = open->node->findValue(name);
    if (!value) return {{}, finish(winerr::FileNotFound)};
    if (dataSize(value->second) > maxBytes) return {{}, finish(winerr::MoreData)};
    return {value->second, winerr::Success};
}

Result<RegEnumEntry> FakePlatform::regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                                std::size_t maxDataBytes) {
    if (WinError e = begin("regEnumValue", {keyLabel(key), std::to_string(index), std::to_string(maxNameBytes),
                                            std::to_string(maxDataBytes)})) {
        return {{}, e};
    }
    OpenKey* open = nullptr;
    if (WinError e = useKey("regEnumValue", key, KeyUse::Read, open)) return {{}, finish(e)};
    const auto& values = open->node->values;
    if (index >= values.size()) return {{}, finish(winerr::NoMoreItems)};
    const auto& [name, value] = values[index];
    // The name limit counts the terminating zero, as RegEnumValue's does.
    if (utf16Length(name) + 1 > maxNameBytes || dataSize(value) > maxDataBytes) return {{}, finish(winerr::MoreData)};
    return {{name, value.type, value.data}, winerr::Success};
}

WinError FakePlatform::regCloseKey(RegKey key) {
    if (WinError e = begin("regCloseKey", {keyLabel(key)})) return e;
    OpenKey* open = nullptr;
    if (WinError e = useKey("regCloseKey", key, KeyUse::Close, open)) return finish(e);
    openKeys_.erase(key);
    return winerr::Success;
}

void FakePlatform::seedKey(RegRoot root, const std::string& path) {
    if (!createKeyPath(root, path)) throw std::invalid_argument("FakePlatform: bad key path " + path);
}

void FakePlatform::seedValue(RegRoot root, const std::string& path, const std::string& name, RegValue value) {
    RegNode* node = createKeyPath(root, path);
    if (!node) throw std::invalid_argument("FakePlatform: bad key path " + path);
    node->setValue(name, std::move(value));
}

void FakePlatform::seedString(RegRoot root, const std::string& path, const std::string& name, const std::string& text) {
    seedValue(root, path, name, {RegSz, text + std::string(1, '\0')});
}

void FakePlatform::seedDword(RegRoot root, const std::string& path, const std::string& name, std::uint32_t value) {
    seedValue(root, path, name, {RegDword, dwordBytes(value)});
}

bool FakePlatform::keyExists(RegRoot root, const std::string& path) const { return findKey(root, path) != nullptr; }

std::optional<RegValue> FakePlatform::regValue(RegRoot root, const std::string& path, const std::string& name) const {
    RegNode* node = findKey(root, path);
    if (!node) return std::nullopt;
    const auto* value = node->findValue(name);
    if (!value) return std::nullopt;
    return value->second;
}

std::optional<std::string> FakePlatform::regString(RegRoot root, const std::string& path,
                                                   const std::string& name) const {
    const auto value = regValue(root, path, name);
    if (!value || value->type != RegSz) return std::nullopt;
    std::string text = value->data;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::optional<std::uint32_t> FakePlatform::regDword(RegRoot root, const std::string& path,
                                                    const std::string& name) const {
    const auto value = regValue(root, path, name);
    if (!value || value->type != RegDword || value->data.size() != 4) return std::nullopt;
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value->data[static_cast<std::size_t>(i)]);
    return number;
}

std::vector<std::string> FakePlatform::openKeys() const {
    std::vector<std::string> labels;
    for (const auto& [key, open] : openKeys_) labels.push_back(open.label);
    return labels;
}

// ---- File system ------------------------------------------------------------

std::optional<FakePlatform::ResolvedPath> FakePlatform::resolve(const std::string& path) const {
    if (path.empty()) return std::nullopt;
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');

    std::string root;
    std::vector<std::string> names;
    if (auto absolute = splitAbsolute(text)) {
        root = absolute->first;
        names = absolute->second;
    } else {
        const auto base = splitAbsolute(currentDirectory_);
        if (!base) return std::nullopt;
        if (isDriveSpec(text)) {
            // "D:name" is relative to the current directory when D: is its
            // drive, else to D:'s root.
            root = std::string(1, static_cast<char>(text[0] >= 'a' ? text[0] - 'a' + 'A' : text[0])) + ":\\";
            if (root == base->first) names = base->second;
            text = text.substr(2);
        } else if (text[0] == '\\') {  // the current drive's root
            root = base->first;
            text = text.substr(1);
        } else {
            root = base->first;
            names = base->second;
        }
        for (auto& name : splitPath(text)) names.push_back(name);
    }

    std::vector<std::string> clean;
    for (const auto& name : names) {
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!clean.empty()) clean.pop_back();
            continue;
        }
        clean.push_back(name);
    }
    ResolvedPath resolved;
    resolved.full = joinPath(root, clean);
    resolved.key = fold(resolved.full);
    if (!clean.empty()) {
        clean.pop_back();
        resolved.parentKey = fold(joinPath(root, clean));
    }
    return resolved;
}

WinError FakePlatform::missingFileError(const ResolvedPath& path) const {
    return directories_.count(path.parentKey) != 0 ? winerr::FileNotFound : winerr::PathNotFound;
}

void FakePlatform::setCurrentDirectory(const std::string& directory) {
    if (!splitAbsolute(directory)) throw std::invalid_argument("FakePlatform: current directory must be absolute");
    currentDirectory_ = directory;
    makeDirectory(directory);
}

void FakePlatform::makeDirectory(const std::string& path) {
    const auto resolved = resolve(path);
    if (!resolved) throw std::invalid_argument("FakePlatform: bad folder path " + path);
    const auto absolute = splitAbsolute(resolved->full);
    std::vector<std::string> names;
    directories_.insert(fold(absolute->first));
    for (const auto& name : absolute->second) {
        if (name.empty()) continue;
        names.push_back(name);
        directories_.insert(fold(joinPath(absolute->first, names)));
    }
}

void FakePlatform::writeFile(const std::string& path, const std::string& contents) {
    const auto resolved = resolve(path);
    if (!resolved || resolved->parentKey.empty()) throw std::invalid_argument("FakePlatform: bad file path " + path);
    makeDirectory(resolved->full + "\\..");
    auto& entry = files_[resolved->key];
    if (entry.path.empty()) {
        entry.path = resolved->full;
        entry.id = nextFileId_++;
    }
    entry.contents = contents;
}

bool FakePlatform::fileExists(const std::string& path) const {
    const auto resolved = resolve(path);
    return resolved && files_.count(resolved->key) != 0;
}

bool FakePlatform::directoryExists(const std::string& path) const {
    const auto resolved = resolve(path);
    return resolved && directories_.count(resolved->key) != 0;
}

std::optional<std::string> FakePlatform::fileContents(const std::string& path) const {
    const auto resolved = resolve(path);
    if (!resolved) return std::nullopt;
    const auto found = files_.find(resolved->key);
    if (found == files_.end()) return std::nullopt;
    return found->second.contents;
}

std::vector<std::string> FakePlatform::files() const {
    std::vector<std::string> paths;
    for (const auto& [key, entry] : files_) paths.push_back(entry.path);  // map order is the folded order
    return paths;
}

std::string FakePlatform::fullPath(const std::string& path) const {
    const auto resolved = resolve(path);
    return resolved ? resolved->full : std::string();
}

std::vector<std::string> FakePlatform::createSamplePackage(const std::string& root) {
    static const char* const commonFiles[] = {"uniDRV.DLL", "uniDRVui.DLL", "UNIDRV.HLP",
                                              "UNIRES.DLL", "TTFSUB.GPD",   "STDNAMES.GPD"};
    // Both editions of every model: the Chinese resource libraries are shared.
    static const char* const modelFiles[] = {
        "RK520PCN.DLL",  "RK730PCN.DLL",  "RK520PCN.GPD",  "RK520PWCN.GPD", "RK730PCN.GPD",    "RK730PNCN.GPD",
        "RK730PNEWCN.GPD", "MZ730PCN.GPD", "MZ730PNCN.GPD", "RK520P.DLL",   "RK520P.GPD",      "RK520PW.DLL",
        "RK520PW.GPD",   "RK730P.DLL",    "RK730P.GPD",    "RK730PN.DLL",   "RK730PN.GPD",     "RK730PNEW.DLL",
        "RK730PNEW.GPD", "MZ730P.DLL",    "MZ730P.GPD",    "MZ730PN.DLL",   "MZ730PN.GPD"};
    std::vector<std::string> relative;
    for (const char* file : commonFiles) relative.push_back(std::string("Printer Driver\\x86\\") + file);
    for (const char* file : modelFiles) relative.push_back(std::string("Printer Driver\\x86\\") + file);
    for (const char* file : commonFiles) relative.push_back(std::string("Printer Driver\\x64\\") + file);
    relative.push_back("USB Driver\\x86\\dpinstx86.exe");
    relative.push_back("USB Driver\\x64\\dpinstx64.exe");
    relative.push_back("USBdriver\\x86\\dpinst.exe");

    const std::string base = fullPath(root.empty() ? currentDirectory_ : root);
    std::vector<std::string> written;
    for (const auto& name : relative) {
        const std::string path = base + (base.back() == '\\' ? "" : "\\") + name;
        writeFile(path, "Kelp sample package file: " + name + "\n");
        written.push_back(fullPath(path));
    }
    return written;
}

WinError FakePlatform::copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    if (WinError e = begin("copyFile", {source, destination, failIfExists ? "true" : "false"})) return e;
    const auto from = resolve(source);
    const auto to = resolve(destination);
    if (!from || !to) return finish(winerr::PathNotFound);
    if (utf16Length(from->full) >= MaxPath || utf16Length(to->full) >= MaxPath) {
        return finish(winerr::FilenameExcedRange);
    }
    const auto file = files_.find(from->key);
    if (file == files_.end()) {
        return finish(directories_.count(from->key) != 0 ? winerr::AccessDenied : missingFileError(*from));
    }
    if (directories_.count(to->parentKey) == 0) return finish(winerr::PathNotFound);
    if (directories_.count(to->key) != 0) return finish(winerr::AccessDenied);
    const bool exists = files_.count(to->key) != 0;
    if (exists && failIfExists) return finish(winerr::FileExists);
    const std::string contents = file->second.contents;
    auto& entry = files_[to->key];
    if (!exists) {
        entry.path = to->full;
        entry.id = nextFileId_++;
    }
    entry.contents = contents;
    return winerr::Success;
}

// ---- Shell and system queries -----------------------------------------------

WinError FakePlatform::shellOpen(const std::string& path) {
    if (WinError e = begin("shellOpen", {path})) return e;
    const auto resolved = resolve(path);
    if (!resolved) return finish(winerr::FileNotFound);
    if (files_.count(resolved->key) == 0) return finish(missingFileError(*resolved));
    launched_.push_back(resolved->full);
    return winerr::Success;
}

void FakePlatform::setVersionFormFails(VersionRecordForm form, WinError error) {
    (form == VersionRecordForm::Extended ? extendedFails_ : plainFails_) = error;
}

Result<OsVersionInfo> FakePlatform::versionQuery(VersionRecordForm form) {
    const bool extended = form == VersionRecordForm::Extended;
    if (WinError e = begin("versionQuery", {extended ? "Extended" : "Plain"})) return {{}, e};
    const auto& fails = extended ? extendedFails_ : plainFails_;
    if (fails) return {{}, finish(*fails)};
    return {version_, winerr::Success};
}

std::uint32_t FakePlatform::activeCodePage() {
    begin("activeCodePage", {});
    return codePage_;
}

Result<std::string> FakePlatform::currentDirectory(std::size_t capacity) {
    if (WinError e = begin("currentDirectory", {std::to_string(capacity)})) return {{}, e};
    if (utf16Length(currentDirectory_) + 1 > capacity) return {{}, finish(winerr::InsufficientBuffer)};
    return {currentDirectory_, winerr::Success};
}

std::optional<int> FakePlatform::isWow64Process() {
    begin("isWow64Process", {});
    return wow64_;
}

void FakePlatform::sleep(std::uint32_t milliseconds) {
    begin("sleep", {std::to_string(milliseconds)});
    totalSleepMs_ += milliseconds;
}

void FakePlatform::debugOutput(const std::string& text) {
    begin("debugOutput", {text});
    debugText_ += text;
}

std::string FakePlatform::errorText(WinError error, Language language) {
    struct Text {
        WinError error;
        const char* chinese;
        const char* english;
    };
    static constexpr Text kTexts[] = {
        {2, "系统找不到指定的文件", "The system cannot find the file specified"},
        {3, "系统找不到指定的路径", "The system cannot find the path specified"},
        {5, "拒绝访问", "Access is denied"},
        {87, "参数错误", "The parameter is incorrect"},
        {1797, "打印机驱动程序未知", "The printer driver is unknown"},
        {1802, "打印机已经存在", "The printer already exists"},
    };
    for (const auto& text : kTexts) {
        if (text.error == error) return language == Language::English ? text.english : text.chinese;
    }
    return {};
}

// ---- Removal, test printing, command line ----------------------------------

std::string FakePlatform::fold_(const std::string& text) { return fold(text); }

WinError FakePlatform::deletePrinter(const std::string& name) {
    if (WinError e = begin("deletePrinter", {name})) return e;
    const auto found = std::find_if(printers_.begin(), printers_.end(),
                                    [&](const PrinterInfo2& p) { return sameName(p.printerName, name); });
    if (found == printers_.end()) return finish(winerr::InvalidPrinterName);
    printers_.erase(found);
    return winerr::Success;
}

namespace {

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The base names of every file a driver record names, dependent files included.
std::vector<std::string> driverFileNames(const DriverInfo3& d) {
    std::vector<std::string> names;
    for (const std::string* path : {&d.driverPath, &d.dataFile, &d.configFile, &d.helpFile}) {
        if (!path->empty()) names.push_back(baseName(*path));
    }
    std::size_t start = 0;
    while (start < d.dependentFiles.size()) {
        const std::size_t end = d.dependentFiles.find('\0', start);
        const std::string item = d.dependentFiles.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (item.empty()) break;
        names.push_back(baseName(item));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

}  // namespace

WinError FakePlatform::deletePrinterDriver(const std::string& environment, const std::string& name,
                                           bool deleteUnusedFiles) {
    if (WinError e = begin("deletePrinterDriver", {environment, name, deleteUnusedFiles ? "true" : "false"})) return e;
    const std::string env = fold(environment);
    if (driverDirectories_.count(env) == 0) return finish(winerr::InvalidEnvironment);
    if (deleteUnusedFiles && !deleteUnusedSupported_) return finish(winerr::InvalidParameter);
    auto& list = drivers_[env];
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const DriverInfo3& d) { return sameName(d.name, name); });
    if (found == list.end()) return finish(winerr::UnknownPrinterDriver);
    if (fold(printerEnvironment()) == env &&
        std::any_of(printers_.begin(), printers_.end(), [&](const PrinterInfo2& p) { return sameName(p.driverName, name); }))
        return finish(3001);  // ERROR_PRINTER_DRIVER_IN_USE
    const DriverInfo3 removed = *found;
    list.erase(found);
    if (deleteUnusedFiles) {
        std::set<std::string> used;
        for (const auto& other : list) {
            for (const auto& file : driverFileNames(other)) used.insert(fold(file));
        }
        for (const auto& file : driverFileNames(removed)) {
            if (used.count(fold(file)) != 0) continue;
            if (const auto resolved = resolve(driverDirectories_[env] + "\\" + file)) files_.erase(resolved->key);
        }
    }
    return winerr::Success;
}

Result<std::vector<DriverInfo3>> FakePlatform::enumPrinterDrivers(const std::string& environment) {
    if (WinError e = begin("enumPrinterDrivers", {environment})) return {{}, e};
    if (driverDirectories_.count(fold(environment)) == 0) return {{}, finish(winerr::InvalidEnvironment)};
    return {drivers(environment), winerr::Success};
}

WinError FakePlatform::deleteFile(const std::string& path) {
    if (WinError e = begin("deleteFile", {path})) return e;
    const auto resolved = resolve(path);
    if (!resolved) return finish(winerr::PathNotFound);
    if (directories_.count(resolved->key) != 0) return finish(winerr::Directory);
    if (files_.erase(resolved->key) == 0) return finish(missingFileError(*resolved));
    return winerr::Success;
}

Result<PrinterHandle> FakePlatform::openPrinter(const std::string& name) {
    if (WinError e = begin("openPrinter", {name})) return {0, e};
    const auto printer = findPrinter(name);
    if (!printer) return {0, finish(winerr::InvalidPrinterName)};
    const PrinterHandle handle = nextPrinter_++;
    openPrinters_[handle] = printer->printerName;
    jobs_[handle] = std::nullopt;
    return {handle, winerr::Success};
}

Result<std::uint32_t> FakePlatform::startRawDocument(PrinterHandle printer, const std::string& documentName) {
    const auto open = openPrinters_.find(printer);
    if (WinError e = begin("startRawDocument", {open == openPrinters_.end() ? "#" + std::to_string(printer) : open->second,
                                                documentName}))
        return {0, e};
    const auto job = jobs_.find(printer);
    if (job == jobs_.end() || open == openPrinters_.end() || job->second) return {0, finish(winerr::InvalidHandle)};
    job->second = OpenJob{documentName, {}};
    openJobIds_[printer] = nextJob_;
    return {nextJob_++, winerr::Success};
}

WinError FakePlatform::writePrinter(PrinterHandle printer, const std::string& bytes) {
    const auto open = openPrinters_.find(printer);
    if (WinError e = begin("writePrinter", {open == openPrinters_.end() ? "#" + std::to_string(printer) : open->second,
                                            std::to_string(bytes.size())}))
        return e;
    const auto job = jobs_.find(printer);
    if (job == jobs_.end() || open == openPrinters_.end() || !job->second) return finish(winerr::InvalidHandle);
    job->second->bytes += bytes;
    return winerr::Success;
}

WinError FakePlatform::endRawDocument(PrinterHandle printer) {
    const auto open = openPrinters_.find(printer);
    if (WinError e = begin("endRawDocument", {open == openPrinters_.end() ? "#" + std::to_string(printer) : open->second}))
        return e;
    const auto job = jobs_.find(printer);
    if (job == jobs_.end() || open == openPrinters_.end() || !job->second) return finish(winerr::InvalidHandle);
    rawJobs_.push_back({open->second, job->second->document, job->second->bytes});
    if (const auto target = findPrinter(open->second); target && target->portName.find(":\\") != std::string::npos) {
        const std::string before = fileContents(target->portName).value_or("");
        writeFile(target->portName, before + job->second->bytes);
    }
    job->second.reset();
    if (!jobScript_.empty()) {
        queuedJobs_[openJobIds_[printer]].assign(jobScript_.begin(), jobScript_.end());
        jobScript_.clear();
    }
    return winerr::Success;
}

Result<LogFile> FakePlatform::openLogFile(const std::string& path, bool createNew) {
    if (WinError e = begin("openLogFile", {path, createNew ? "new" : "existing"})) return {{}, e};
    const auto resolved = resolve(path);
    if (!resolved || resolved->parentKey.empty() || directories_.count(resolved->parentKey) == 0)
        return {{}, finish(winerr::PathNotFound)};
    if (directories_.count(resolved->key) != 0) return {{}, finish(winerr::AccessDenied)};
    const auto found = files_.find(resolved->key);
    if (found != files_.end() && createNew) return {{}, finish(winerr::FileExists)};
    for (const auto& [handle, open] : openLogs_) {
        if (found != files_.end() && found->second.id == open.id) return {{}, finish(winerr::SharingViolation)};
    }
    const bool created = found == files_.end();
    auto& entry = files_[resolved->key];
    if (created) {
        entry.path = resolved->full;
        entry.id = nextFileId_++;
    }
    const std::uintptr_t handle = nextLog_++;
    openLogs_[handle] = {entry.id, created};
    const bool linked = linkedFolders_.count(resolved->parentKey) != 0;
    return {{handle, entry.links, entry.reparsePoint, entry.trustedOwner, created, linked}, winerr::Success};
}

FakePlatform::FileEntry* FakePlatform::openLogEntry(std::uintptr_t file) {
    const auto open = openLogs_.find(file);
    if (open == openLogs_.end()) return nullptr;
    for (auto& [key, entry] : files_)
        if (entry.id == open->second.id) return &entry;
    return nullptr;
}

std::string FakePlatform::openLogName(std::uintptr_t file) {
    const FileEntry* entry = openLogEntry(file);
    return entry ? entry->path : "#" + std::to_string(file);
}

WinError FakePlatform::writeLogFile(std::uintptr_t file, const std::string& bytes) {
    FileEntry* entry = openLogEntry(file);
    if (WinError e = begin("writeLogFile", {openLogName(file), std::to_string(bytes.size())})) return e;
    if (!entry) return finish(winerr::InvalidHandle);
    entry->contents += bytes;
    return winerr::Success;
}

void FakePlatform::closeLogFile(std::uintptr_t file) {
    begin("closeLogFile", {openLogName(file)});
    openLogs_.erase(file);
}

WinError FakePlatform::discardLogFile(std::uintptr_t file) {
    const FileEntry* entry = openLogEntry(file);
    const bool made = openLogs_.count(file) != 0 && openLogs_[file].created;
    WinError error = begin("discardLogFile", {openLogName(file)});
    if (!error && !entry) error = finish(winerr::InvalidHandle);
    // Only the file this handle made can go: another's handle has no right
    // to delete it.
    if (!error && !made) error = finish(winerr::AccessDenied);
    if (!error) {
        for (auto it = files_.begin(); it != files_.end(); ++it)
            if (it->second.id == entry->id) {
                files_.erase(it);
                break;
            }
    }
    openLogs_.erase(file);
    return error;
}

void FakePlatform::moveFile(const std::string& from, const std::string& to) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    if (!source || !target || files_.count(source->key) == 0 || files_.count(target->key) != 0)
        throw std::invalid_argument("FakePlatform: cannot move " + from + " to " + to);
    FileEntry entry = files_[source->key];
    files_.erase(source->key);
    makeDirectory(target->full + "\\..");
    entry.path = target->full;
    files_[target->key] = entry;
}

void FakePlatform::setLinkOnTheWay(const std::string& folder) {
    const auto resolved = resolve(folder);
    if (!resolved) throw std::invalid_argument("FakePlatform: bad folder path " + folder);
    linkedFolders_.insert(resolved->key);
}

void FakePlatform::setFileFacts(const std::string& path, std::uint32_t links, bool reparsePoint, bool trustedOwner) {
    const auto resolved = resolve(path);
    if (!resolved || files_.count(resolved->key) == 0) throw std::invalid_argument("FakePlatform: no file " + path);
    auto& entry = files_[resolved->key];
    entry.links = links;
    entry.reparsePoint = reparsePoint;
    entry.trustedOwner = trustedOwner;
}

void FakePlatform::setTempDirectory(const std::string& folder) {
    tempDirectory_ = folder;
    makeDirectory(folder);
}

std::string FakePlatform::tempDirectory() {
    begin("tempDirectory", {});
    if (tempDirectory_.empty()) setTempDirectory("C:\\users\\kelp\\Temp");
    return tempDirectory_;
}

std::string FakePlatform::moduleDirectory() {
    begin("moduleDirectory", {});
    return moduleDirectory_;
}

std::string FakePlatform::localTime() {
    begin("localTime", {});
    return localTime_;
}

std::string FakePlatform::userName() {
    begin("userName", {});
    return userName_;
}

Result<std::uintptr_t> FakePlatform::acquireNamedMutex(const std::string& name) {
    if (WinError e = begin("acquireNamedMutex", {name})) return {0, e};
    const bool heldHere = std::any_of(heldMutexes_.begin(), heldMutexes_.end(),
                                      [&](const auto& held) { return sameName(held.second, name); });
    if (heldHere || mutexesElsewhere_.count(fold(name)) != 0) return {0, finish(winerr::InstallAlreadyRunning)};
    const std::uintptr_t handle = nextMutex_++;
    heldMutexes_[handle] = name;
    return {handle, winerr::Success};
}

// Kept apart from the named mutexes: no global name reaches it.
Result<PrivateMutex> FakePlatform::acquirePrivateMutex(const std::string& namespaceName, const std::string& mutexName) {
    if (WinError e = begin("acquirePrivateMutex", {namespaceName, mutexName})) return {{}, e};
    const std::string name = "private:" + namespaceName + "\\" + mutexName;
    // Only a process holding the Administrators group can make the
    // namespace whose boundary names that group.
    if (!elevated_) return {{0, false}, finish(winerr::AccessDenied)};
    if (privateMutexError_ != winerr::Success) return {{0, true}, finish(privateMutexError_)};
    const bool heldHere = std::any_of(heldMutexes_.begin(), heldMutexes_.end(),
                                      [&](const auto& held) { return held.second == name; });
    if (heldHere || mutexesElsewhere_.count(fold(name)) != 0) return {{0, true}, finish(winerr::InstallAlreadyRunning)};
    const std::uintptr_t handle = nextMutex_++;
    heldMutexes_[handle] = name;
    return {{handle, true}, winerr::Success};
}

std::uint64_t FakePlatform::randomNumber() {
    begin("randomNumber", {});
    const std::uint64_t call = randomCalls_++;
    if (randomNumbers_.empty()) return call + 1;
    return randomNumbers_[std::min<std::uint64_t>(call, randomNumbers_.size() - 1)];
}

void FakePlatform::releaseNamedMutex(std::uintptr_t mutex) {
    const auto held = heldMutexes_.find(mutex);
    begin("releaseNamedMutex", {held == heldMutexes_.end() ? "#" + std::to_string(mutex) : held->second});
    if (held != heldMutexes_.end()) heldMutexes_.erase(held);
}

std::vector<std::string> FakePlatform::heldMutexes() const {
    std::vector<std::string> names;
    for (const auto& [handle, name] : heldMutexes_) names.push_back(name);
    return names;
}

bool FakePlatform::consoleWrite(const std::string& text) {
    begin("consoleWrite", {text});
    if (!hasConsole_) return false;
    consoleText_ += text;
    return true;
}

void FakePlatform::messageBoxWithoutWindow(const std::string& title, const std::string& text) {
    begin("messageBoxWithoutWindow", {title, text});
    windowlessBoxes_.emplace_back(title, text);
}

Result<std::vector<UsbPrinterInterface>> FakePlatform::usbPrinterInterfaces() {
    if (WinError e = begin("usbPrinterInterfaces", {})) return {{}, e};
    return {usbInterfaces_, winerr::Success};
}

Result<std::uint32_t> FakePlatform::usbPrinterStatus(const std::string& portName) {
    if (WinError e = begin("usbPrinterStatus", {portName})) return {0, e};
    const auto found = usbStatus_.find(fold(portName));
    if (found == usbStatus_.end()) return {0, finish(kDeviceNotConnected)};
    return {found->second.value, finish(found->second.error)};
}

WinError FakePlatform::setPrinterPort(const std::string& name, const std::string& port) {
    if (WinError e = begin("setPrinterPort", {name, port})) return e;
    for (auto& printer : printers_) {
        if (!sameName(printer.printerName, name)) continue;
        if (!printerPortIgnored_) printer.portName = port;
        return winerr::Success;
    }
    return finish(winerr::InvalidPrinterName);
}

Result<JobRecord> FakePlatform::getJob(PrinterHandle printer, std::uint32_t jobId) {
    const auto open = openPrinters_.find(printer);
    if (WinError e = begin("getJob", {open == openPrinters_.end() ? "#" + std::to_string(printer) : open->second,
                                      std::to_string(jobId)}))
        return {{}, e};
    const auto job = queuedJobs_.find(jobId);
    if (open == openPrinters_.end() || job == queuedJobs_.end()) return {{}, finish(winerr::InvalidHandle)};
    const auto state = job->second.front();
    if (job->second.size() > 1) job->second.pop_front();
    if (!state) {
        queuedJobs_.erase(job);
        return {{}, finish(winerr::InvalidParameter)};
    }
    return {{*state, {}}, winerr::Success};
}

WinError FakePlatform::deleteJob(PrinterHandle printer, std::uint32_t jobId) {
    const auto open = openPrinters_.find(printer);
    if (WinError e = begin("deleteJob", {open == openPrinters_.end() ? "#" + std::to_string(printer) : open->second,
                                         std::to_string(jobId)}))
        return e;
    if (open == openPrinters_.end() || queuedJobs_.erase(jobId) == 0) return finish(winerr::InvalidParameter);
    deletedJobs_.push_back(jobId);
    return winerr::Success;
}

Result<std::string> FakePlatform::fullPathName(const std::string& path) {
    if (WinError e = begin("fullPathName", {path})) return {{}, e};
    const auto resolved = resolve(path);
    if (!resolved) return {{}, finish(winerr::InvalidName)};
    // GetFullPathName keeps a trailing separator: C:\a\ stays C:\a\ (with a backslash).
    const bool trailing = path.back() == '\\' || path.back() == '/';
    if (trailing && resolved->full.back() != '\\') return {resolved->full + "\\", winerr::Success};
    return {resolved->full, winerr::Success};
}

void FakePlatform::installTcpIpMonitor() {
    if (tcpIpMonitor_) return;
    tcpIpMonitor_ = true;
    monitors_.push_back({std::string(TcpIpMonitorName)});
}

void FakePlatform::seedTcpIpPort(const TcpIpPortConfig& port) {
    installTcpIpMonitor();
    tcpIpPorts_[fold(port.portName)] = port;
    ports_.push_back({port.portName, TcpIpMonitorName, TcpIpMonitorName});
}

std::optional<TcpIpPortConfig> FakePlatform::findTcpIpPort(const std::string& name) const {
    const auto found = tcpIpPorts_.find(fold(name));
    if (found == tcpIpPorts_.end()) return std::nullopt;
    return found->second;
}

WinError FakePlatform::addTcpIpPort(const TcpIpPortConfig& port) {
    if (WinError e = begin("addTcpIpPort", {port.portName, port.host, std::to_string(port.tcpPort),
                                            port.raw ? "RAW" : "LPR", port.snmp ? "SNMP on" : "SNMP off"}))
        return e;
    if (!tcpIpMonitor_) return finish(winerr::UnknownPort);
    if (port.portName.empty() || port.host.empty()) return finish(winerr::InvalidParameter);
    for (const auto& existing : ports_)
        if (sameName(existing.name, port.portName)) return finish(183);  // ERROR_ALREADY_EXISTS
    tcpIpPorts_[fold(port.portName)] = port;
    ports_.push_back({port.portName, TcpIpMonitorName, TcpIpMonitorName});
    return winerr::Success;
}

WinError FakePlatform::deleteTcpIpPort(const std::string& portName) {
    if (WinError e = begin("deleteTcpIpPort", {portName})) return e;
    if (!tcpIpMonitor_ || tcpIpPorts_.erase(fold(portName)) == 0) return finish(winerr::UnknownPort);
    ports_.erase(std::remove_if(ports_.begin(), ports_.end(),
                                [&](const PortRecord& p) { return sameName(p.name, portName); }),
                 ports_.end());
    return winerr::Success;
}

Result<TcpIpPortConfig> FakePlatform::tcpIpPortConfig(const std::string& portName) {
    if (WinError e = begin("tcpIpPortConfig", {portName})) return {{}, e};
    const auto found = tcpIpPorts_.find(fold(portName));
    if (found != tcpIpPorts_.end()) return {found->second, winerr::Success};
    for (const auto& existing : ports_)
        if (sameName(existing.name, portName)) return {{}, finish(winerr::InvalidParameter)};
    return {{}, finish(winerr::InvalidPrinterName)};
}

WinError FakePlatform::broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) {
    return begin("broadcastSettingChange", {section, std::to_string(timeoutMs)});
}

std::optional<std::uint16_t> FakePlatform::nativeMachine() {
    begin("nativeMachine", {});
    return nativeMachine_;
}

}  // namespace kelp
