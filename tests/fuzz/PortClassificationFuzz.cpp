// libFuzzer target: the port inventory (PortInventory::classifyPorts,
// collectSerialDevices, pickAutomaticPort) against an in-memory machine built
// from the input bytes.
//
// Input layout (every read past the end yields zeros / empty text):
//   byte  flags   bit 0  enumPorts fails
//                 bit 1  the serial-device key does not exist
//                 bit 2  opening the serial-device key fails
//                 bit 3  regEnumValue fails once, at index `at`
//                 bit 4  regEnumValue fails at every index from `at` on
//                 bits 5-7  which error those failures answer (kErrors)
//   byte  at
//   then records, each a tag byte and its fields, by tag % 4:
//     0  port:          text name, text description
//     1  serial value:  text name, byte kind, text data
//                       kind < 0xC0: REG_SZ, data plus its terminating zero
//                       0xC0-0xDF:   REG_SZ, data as given (no terminator)
//                       0xE0-0xFF:   type kind - 0xE0, data as given
//     2  port run:      two bytes count (little endian, mod 1024), text name,
//                       text description; names are name + "0", name + "1"...
//     3  stale entry:   text, put in list (tag >> 2) % 5 of the inventory
//                       before the pass, which must throw it away
//   text: a byte whose value mod 5 is the number of pieces, then the pieces,
//   each a byte p:
//     p < 0x80     p literal bytes
//     0x80-0x87    kTokens[p - 0x80]
//     0x88-0x8F    kTokens[p - 0x88] without its last byte (near misses:
//                  "\Device", "FIL", a Chinese text cut inside a character)
//     0x90-0xBF    a byte n, a byte c: n times c
//     0xC0-0xFF    a byte n, a byte c: 64 * n times c
//   Decoding stops adding text once 64 KiB have been made (port runs count
//   every copy), and keeps at most 1024 ports and 512 serial values.
//
// Every violated rule prints what went wrong and aborts, which libFuzzer
// reports as a crash with the input that caused it.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fake/FakePlatform.h"
#include "install/PortInventory.h"

namespace kelp {
namespace {

// The sizes the scan must ask for: 128-byte buffers for the value's name
// (its terminating zero included) and for its data.
constexpr std::size_t kNameLimit = 128;
constexpr std::size_t kDataLimit = 128;
constexpr const char* kSerialKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

constexpr std::size_t kMaxPorts = 1024;
constexpr std::size_t kMaxValues = 512;
// All decoded text together, copies made by port runs included: enough for
// names far past every limit, small enough to keep the fuzzer fast.
constexpr std::size_t kMaxTextBytes = 64 * 1024;

constexpr WinError kKeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr WinError kErrors[8] = {winerr::MoreData,     winerr::AccessDenied,     winerr::NotEnoughMemory,
                                 winerr::NoMoreItems,  kKeyDeleted,              winerr::InvalidParameter,
                                 winerr::InvalidHandle, winerr::FileNotFound};

constexpr std::string_view kTokens[8] = {
    "USB", "COM", "LPT", "FILE", "Standard TCP/IP Port", "标准 TCP/IP 端口", "\\Device\\", ":"};

const char* g_step = "";

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "\n*** port inventory rule broken (%s): %s\n", g_step, what);
    std::fflush(stderr);
    std::abort();
}

void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Takes n bytes from the text budget; false when it is spent.
    bool spend(std::size_t n) {
        if (budget_ < n) return false;
        budget_ -= n;
        return true;
    }

    std::string text() {
        std::string out;
        const int pieces = byte() % 5;
        for (int i = 0; i < pieces; ++i) {
            const std::uint8_t p = byte();
            if (p < 0x80) {
                const std::size_t n = std::min<std::size_t>(p, size_ - std::min(pos_, size_));
                append(out, std::string(reinterpret_cast<const char*>(data_ + pos_), n));
                pos_ += n;
            } else if (p < 0x88) {
                append(out, std::string(kTokens[p - 0x80]));
            } else if (p < 0x90) {
                const std::string_view token = kTokens[p - 0x88];
                append(out, std::string(token.substr(0, token.size() - 1)));
            } else {
                const std::size_t n = byte() * (p < 0xC0 ? 1u : 64u);
                const char c = static_cast<char>(byte());
                append(out, std::string(n, c));
            }
        }
        return out;
    }

private:
    void append(std::string& out, const std::string& piece) {
        if (spend(piece.size())) out += piece;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t budget_ = kMaxTextBytes;
};

struct SerialValue {
    std::string name;
    RegValue value;
};

struct Machine {
    bool enumPortsFails = false;
    bool keyMissing = false;
    bool openFails = false;
    bool enumFailsOnce = false;
    bool enumFailsFrom = false;
    WinError error = winerr::MoreData;
    std::uint32_t at = 0;
    std::vector<PortRecord> ports;
    std::vector<SerialValue> values;
    std::vector<std::string> stale[5];
};

Machine Decode(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Machine m;
    const std::uint8_t flags = in.byte();
    m.enumPortsFails = flags & 0x01;
    m.keyMissing = flags & 0x02;
    m.openFails = flags & 0x04;
    m.enumFailsOnce = flags & 0x08;
    m.enumFailsFrom = flags & 0x10;
    m.error = kErrors[flags >> 5];
    m.at = in.byte();
    while (!in.atEnd()) {
        const std::uint8_t tag = in.byte();
        switch (tag % 4) {
        case 0: {
            PortRecord port;
            port.name = in.text();
            port.description = in.text();
            if (m.ports.size() < kMaxPorts) m.ports.push_back(std::move(port));
            break;
        }
        case 1: {
            SerialValue v;
            v.name = in.text();
            const std::uint8_t kind = in.byte();
            v.value.data = in.text();
            if (kind < 0xC0) {
                v.value.type = RegSz;
                v.value.data.push_back('\0');
            } else if (kind < 0xE0) {
                v.value.type = RegSz;
            } else {
                v.value.type = kind - 0xE0u;
            }
            if (m.values.size() < kMaxValues) m.values.push_back(std::move(v));
            break;
        }
        case 2: {
            std::size_t count = in.byte();
            count |= static_cast<std::size_t>(in.byte()) << 8;
            count %= 1024;
            const std::string name = in.text();
            const std::string description = in.text();
            for (std::size_t i = 0; i < count && m.ports.size() < kMaxPorts; ++i) {
                if (!in.spend(name.size() + description.size())) break;
                m.ports.push_back({name + std::to_string(i), description});
            }
            break;
        }
        default:
            m.stale[(tag >> 2) % 5].push_back(in.text());
            break;
        }
    }
    return m;
}

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::string_view(s).substr(0, prefix.size()) == prefix;
}

bool IsTcpIp(const std::string& description) {
    return description == "Standard TCP/IP Port" || description == "标准 TCP/IP 端口";
}

// What one value of the key may contribute to the serial list.
struct Expectation {
    enum Kind { None, Required, Optional } kind = None;
    std::vector<std::string> forms;  // the acceptable entries
};

// A plain text value names its device; anything else (another type, no
// terminator, embedded zeros, no text) may be skipped or read as text, as
// long as the entry is made from the value's own bytes.
Expectation Expect(const RegEnumEntry& entry) {
    Expectation e;
    if (!StartsWith(entry.name, "\\Device\\")) return e;
    const std::string& d = entry.data;
    const std::string upToZero = d.substr(0, d.find('\0'));
    const bool plainText = entry.type == RegSz && !d.empty() && d.find('\0') == d.size() - 1 && d.size() > 1;
    if (plainText) {
        e.kind = Expectation::Required;
        e.forms = {upToZero + ":"};
        return e;
    }
    e.kind = Expectation::Optional;
    e.forms = {upToZero + ":", d + ":"};
    if (!d.empty() && d.back() == '\0') e.forms.push_back(d.substr(0, d.size() - 1) + ":");
    return e;
}

// Whether `entries` is exactly what the expectations allow, in order.
bool Matches(const std::vector<Expectation>& expected, const std::vector<std::string>& entries) {
    const std::size_t n = expected.size(), m = entries.size();
    // can[i][j]: expectations i.. can produce entries j..
    std::vector<std::vector<char>> can(n + 1, std::vector<char>(m + 1, 0));
    can[n][m] = 1;
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m + 1; j-- > 0;) {
            const Expectation& e = expected[i];
            const bool produces = j < m && can[i + 1][j + 1] &&
                                  std::find(e.forms.begin(), e.forms.end(), entries[j]) != e.forms.end();
            const bool skips = e.kind != Expectation::Required && can[i + 1][j];
            can[i][j] = (e.kind != Expectation::None && produces) || skips;
        }
    }
    return can[0][0];
}

const std::vector<std::string>* ListOfRow(const PortInventory& inv, int row) {
    switch (row) {
    case 0: return &inv.serialPorts;
    case 1: return &inv.usbPorts;
    case 2: return &inv.lptPorts;
    case 3: return &inv.tcpipPorts;
    default: return nullptr;
    }
}

void CheckPorts(const Machine& m, const PortInventory& inv, int row) {
    g_step = "ports";
    const std::size_t seen = m.enumPortsFails ? 0 : std::min<std::size_t>(m.ports.size(), 256);
    Check(inv.allPorts.size() == seen, "allPorts is not the first min(n, 256) port records");
    // The rules as tables: a port's kind is the start of its name (case
    // counts); kind and description give its list; the most important kind
    // on the machine gives the suggested row, row 1 when there is none.
    enum Kind { Usb, Com, Lpt, File, Other };
    enum List { UsbList, LptList, TcpIpList, NoList };
    const std::pair<std::string_view, Kind> kinds[] = {{"USB", Usb}, {"COM", Com}, {"LPT", Lpt}, {"FILE", File}};
    //                              plain     TCP/IP description
    const List listOf[][2] = {/* USB   */ {UsbList, UsbList},
                              /* COM   */ {NoList, TcpIpList},
                              /* LPT   */ {LptList, TcpIpList},
                              /* FILE  */ {NoList, TcpIpList},
                              /* other */ {NoList, TcpIpList}};
    const std::pair<Kind, int> rowByImportance[] = {{Usb, 1}, {Com, 0}, {Lpt, 2}, {File, 3}};
    std::vector<std::string> expected[3];
    bool present[5] = {};
    for (std::size_t i = 0; i < seen; ++i) {
        const PortRecord& port = m.ports[i];
        Check(inv.allPorts[i] == port.name, "allPorts differs from the spooler's names or order");
        Kind kind = Other;
        for (const auto& [prefix, k] : kinds)
            if (StartsWith(port.name, prefix)) kind = k;
        present[kind] = true;
        const bool tcpip = IsTcpIp(port.description);
        if (const List list = listOf[kind][tcpip]; list != NoList) expected[list].push_back(port.name);
    }
    Check(inv.usbPorts == expected[UsbList], "usbPorts is not exactly the names starting with USB");
    Check(inv.tcpipPorts == expected[TcpIpList], "tcpipPorts is not exactly the non-USB ports with a TCP/IP description");
    Check(inv.lptPorts == expected[LptList], "lptPorts is not exactly the LPT ports that are neither USB nor TCP/IP");
    int expectedRow = 1;
    for (const auto& [kind, categoryRow] : rowByImportance) {
        if (!present[kind]) continue;
        expectedRow = categoryRow;
        break;
    }
    Check(row >= 0 && row <= 3, "suggested row outside 0-3");
    Check(row == expectedRow, "suggested row does not follow the counts");

    // Each list keeps the spooler's order, and no record lands in two lists:
    // the lists together are no longer than allPorts, and a name that the
    // spooler gave once is in one list at most.
    const std::vector<std::string>* lists[] = {&inv.usbPorts, &inv.lptPorts, &inv.tcpipPorts};
    std::size_t listed = 0;
    for (const auto* list : lists) {
        std::size_t next = 0;
        for (const auto& name : inv.allPorts) {
            if (next < list->size() && (*list)[next] == name) ++next;
        }
        Check(next == list->size(), "a category list is not a subsequence of allPorts");
        listed += list->size();
    }
    Check(listed <= inv.allPorts.size(), "the category lists hold more names than allPorts");
    for (const auto& name : inv.allPorts) {
        if (std::count(inv.allPorts.begin(), inv.allPorts.end(), name) != 1) continue;
        std::size_t in = 0;
        for (const auto* list : lists) in += std::count(list->begin(), list->end(), name);
        Check(in <= 1, "a port is in two category lists");
    }
}

void CheckAutomaticPort(const PortInventory& inv, int suggested) {
    g_step = "pickAutomaticPort";
    for (int row : {INT_MIN, -2, -1, 0, 1, 2, 3, 4, 5, INT_MAX, suggested}) {
        const auto picked = inv.pickAutomaticPort(row);
        const auto* list = ListOfRow(inv, row);
        if (!list || list->empty()) {
            Check(!picked.has_value(), "pickAutomaticPort yields a port for an empty list or a bad row");
        } else {
            Check(picked.has_value() && *picked == list->front(),
                  "pickAutomaticPort does not yield the first entry of the row's list");
        }
    }
}

}  // namespace
}  // namespace kelp

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelp;
    const Machine m = Decode(data, size);

    FakePlatform platform;
    platform.setPorts(m.ports);
    if (!m.keyMissing) {
        platform.seedKey(RegRoot::LocalMachine, kSerialKey);
        for (const auto& v : m.values) platform.seedValue(RegRoot::LocalMachine, kSerialKey, v.name, v.value);
    }

    // What the key holds as the scan can read it with 128-byte buffers
    // (equal names fold into one value, as in the registry).
    std::vector<Result<RegEnumEntry>> stored;
    if (!m.keyMissing) {
        const auto key = platform.regOpenKey(RegRoot::LocalMachine, kSerialKey, RegAccess::Read);
        Check(key.ok(), "harness: cannot open the seeded key");
        for (std::uint32_t i = 0;; ++i) {
            stored.push_back(platform.regEnumValue(key.value, i, kNameLimit, kDataLimit));
            if (stored.back().error == winerr::NoMoreItems) break;
        }
        platform.regCloseKey(key.value);
        platform.clearCalls();
    }
    const std::uint32_t valueCount = static_cast<std::uint32_t>(stored.empty() ? 0 : stored.size() - 1);

    // A scan that never ends is a finding too, not a timeout: stop it once it
    // has asked for far more values than the key holds.
    std::size_t enumCalls = 0;
    const std::size_t enumCallLimit = 4 * (static_cast<std::size_t>(valueCount) + 1) + 64;
    platform.failWhen(
        "regEnumValue",
        [&](const std::vector<std::string>&) {
            if (++enumCalls > enumCallLimit) Fail("the serial-device scan does not stop");
            return false;
        },
        winerr::AccessDenied);
    if (m.enumPortsFails) platform.failAlways("enumPorts", m.error);
    if (m.openFails) platform.failAlways("regOpenKey", winerr::AccessDenied);
    const std::string atText = std::to_string(m.at);
    if (m.enumFailsOnce) {
        platform.failWhen(
            "regEnumValue", [atText](const std::vector<std::string>& args) { return args.at(1) == atText; }, m.error);
    }
    if (m.enumFailsFrom) {
        // A key that goes away or stops being readable fails every read from
        // then on, past its last value too. Values too large for the buffers
        // are a property of each value: the end of the key still answers
        // NoMoreItems.
        const std::uint32_t from = m.at;
        const std::uint32_t end = m.error == winerr::MoreData ? valueCount : UINT32_MAX;
        platform.failWhen(
            "regEnumValue",
            [from, end](const std::vector<std::string>& args) {
                const auto index = std::stoul(args.at(1));
                return index >= from && index < end;
            },
            m.error);
    }

    PortInventory inv;
    inv.allPorts = m.stale[0];
    inv.usbPorts = m.stale[1];
    inv.serialPorts = m.stale[2];
    inv.lptPorts = m.stale[3];
    inv.tcpipPorts = m.stale[4];

    g_step = "classifyPorts";
    const int row = inv.classifyPorts(platform);

    CheckPorts(m, inv, row);
    CheckAutomaticPort(inv, row);

    // The serial list, value by value in the key's order.
    g_step = "serial devices";
    std::vector<Expectation> expected;
    const bool scanned = !m.keyMissing && !m.openFails;
    bool unsure = false;  // after a failed read the scan may go on or stop
    for (std::uint32_t i = 0; scanned && i < valueCount; ++i) {
        const bool injected = (m.enumFailsOnce && i == m.at) || (m.enumFailsFrom && i >= m.at);
        const WinError error = injected ? m.error : stored[i].error;
        if (error == winerr::NoMoreItems) break;
        if (error != winerr::Success) {
            if (error != winerr::MoreData) unsure = true;
            continue;
        }
        Expectation e = Expect(stored[i].value);
        if (unsure && e.kind == Expectation::Required) e.kind = Expectation::Optional;
        expected.push_back(std::move(e));
    }
    for (const auto& entry : inv.serialPorts) {
        Check(!entry.empty() && entry.back() == ':', "a serial entry does not end with ':'");
    }
    Check(Matches(expected, inv.serialPorts),
          "serialPorts is not the \\Device\\ values' data plus ':' in the key's order");

    const auto& calls = platform.calls();
    std::size_t opens = 0, enumPortsCalls = 0;
    std::uint32_t nextIndex = 0;
    for (const auto& call : calls) {
        if (call.op == "enumPorts") ++enumPortsCalls;
        if (call.op == "regOpenKey") {
            ++opens;
            Check(call.args == std::vector<std::string>{"HKLM", kSerialKey, "Read"},
                  "the scan opens another key or asks for other rights");
        }
        if (call.op == "regEnumValue") {
            Check(call.args.at(2) == std::to_string(kNameLimit) && call.args.at(3) == std::to_string(kDataLimit),
                  "the scan reads with other buffer sizes than 128 bytes");
            Check(call.args.at(1) == std::to_string(nextIndex),
                  "the scan does not read the values in index order");
            ++nextIndex;
        }
    }
    Check(opens == 1, "the serial-device key is not opened exactly once");
    Check(enumPortsCalls == 1, "the spooler is not asked exactly once");
    Check(platform.openKeys().empty(), "a registry key is left open");
    Check(platform.invalidKeyUses().empty(), "a closed or unknown key handle is used");

    // collectSerialDevices on its own: same answer on the same machine, any
    // earlier contents thrown away, true exactly when something was found.
    g_step = "collectSerialDevices";
    std::vector<std::string> list = m.stale[2];
    list.push_back("stale:");
    enumCalls = 0;
    const bool found = collectSerialDevices(platform, list);
    Check(found == !list.empty(), "collectSerialDevices answers other than whether the list holds entries");
    Check(list == inv.serialPorts, "collectSerialDevices gives another list than the pass on the same machine");
    Check(platform.openKeys().empty(), "collectSerialDevices leaves the key open");
    return 0;
}
