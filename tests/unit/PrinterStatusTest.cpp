#include <gtest/gtest.h>

#include <map>

#include "install/CashDrawer.h"
#include "install/PrinterStatus.h"

namespace kelp {
namespace {

// A line whose peer sends replies[n - 1] after request n (nothing more: it
// stays silent, or hangs up when hangsUp) and has unasked[n] waiting before
// request n (unasked[5]: after the fourth answer). Its clock moves only
// while nothing comes.
class ScriptedChannel : public StatusChannel {
public:
    ScriptedChannel(std::vector<std::string> replies, std::map<int, std::string> unasked, bool hangsUp)
        : replies_(std::move(replies)), unasked_(std::move(unasked)), hangsUp_(hangsUp) {}
    Result<std::string> takeWaiting() override {
        const std::string bytes = waiting_ + unasked_[requests_ + 1];
        unasked_[requests_ + 1].clear();
        waiting_.clear();
        return {bytes, winerr::Success};
    }
    WinError send(const std::string& bytes) override {
        if (refuseFrom > 0 && requests_ + 1 >= refuseFrom) return 10054;
        sent += bytes;
        ++requests_;
        if (requests_ <= static_cast<int>(replies_.size())) waiting_ += replies_[requests_ - 1];
        return winerr::Success;
    }
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        deadlines.push_back(timeoutMs);
        if (waiting_.empty() && hangsUp_) return {{}, winerr::Success};
        if (waiting_.empty()) {
            now_ += timeoutMs;
            return {{}, winerr::Timeout};
        }
        const std::string bytes = waiting_.substr(0, maxBytes);
        waiting_.erase(0, bytes.size());
        return {bytes, winerr::Success};
    }
    std::uint64_t nowMs() override { return now_; }
    std::string sent;
    std::vector<std::uint32_t> deadlines;
    std::uint64_t now_ = 0;
    int refuseFrom = 0;  // sends from this one on fail (a peer gone); 0: none

private:
    std::vector<std::string> replies_;
    std::map<int, std::string> unasked_;
    bool hangsUp_;
    std::string waiting_;
    int requests_ = 0;
};

// Each answer counts only after its request; status frames and XON/XOFF are
// dropped wherever they come; anything else unasked, a frame cut short, or
// an answer without the fixed bits is no printer and ends the exchange;
// ready needs all four answers; silence from the first request on is no
// status, a hang-up or answers that stop are no answer.
TEST(PrinterStatus, AnswersCountOnlyAfterTheirRequest) {
    using S = PrinterState;
    const std::string r1("\x10\x04\x01", 3), r12 = r1 + "\x10\x04\x02", r123 = r12 + "\x10\x04\x03",
                      all = r123 + "\x10\x04\x04";
    const std::string frame("\x10\x00\x0C\x00", 4);  // paper end: the answers decide
    const std::vector<std::string> ready = {"\x12", "\x12", "\x12", "\x12"};
    const struct {
        const char* what;
        std::vector<std::string> replies;
        std::map<int, std::string> unasked;
        bool hangsUp;
        S state;
        std::string sent;
        std::uint64_t ms;
    } rows[] = {
        {"ready", ready, {}, false, S::Ready, all, 0},
        {"near end", {"\x12", "\x12", "\x12", "\x1E"}, {}, false, S::PaperNearEnd, all, 0},
        {"silent", {}, {}, false, S::NoStatus, r1, 1000},
        {"hangs up at the first request", {}, {}, true, S::NoAnswer, r1, 0},
        {"hangs up after one answer", {"\x12"}, {}, true, S::NoAnswer, r12, 0},
        {"one answer of four", {"\x12"}, {}, false, S::NoAnswer, r12, 1000},
        {"three answers of four", {"\x12", "\x12", "\x12"}, {}, false, S::NoAnswer, all, 1000},
        {"offline, then silent", {"\x1A"}, {}, false, S::Offline, r12, 1000},
        {"speaks first", ready, {{1, "RFB 003.008\n"}}, false, S::NotAPrinter, "", 0},
        {"a late second byte", ready, {{3, "\x12"}}, false, S::NotAPrinter, r12, 0},
        {"a byte after the last answer", ready, {{5, "\x12"}}, false, S::NotAPrinter, all, 0},
        {"a banner's first byte fits", {"2"}, {{2, "20 Service ready\r\n"}}, false, S::NotAPrinter, r1, 0},
        {"bits 0 and 2 set", {"\x12", "\x17"}, {}, false, S::NotAPrinter, r12, 0},
        {"bits 1 and 4 clear", {std::string(1, '\0')}, {}, false, S::NotAPrinter, r1, 0},
        {"bit 4 clear", {"\x12", "\x12", "\x02"}, {}, false, S::NotAPrinter, r123, 0},
        {"bit 7 set", {"\x12", "\x12", "\x12", "\x92"}, {}, false, S::NotAPrinter, all, 0},
        {"frames before the first request and after the last", ready, {{1, frame}, {5, frame + frame}}, false, S::Ready, all, 0},
        {"a frame in place of the answer, then the answer", {frame + "\x12", "\x12", "\x12", "\x12"}, {}, false, S::Ready, all, 0},
        {"frames only", {frame}, {}, false, S::NoStatus, r1, 1000},
        {"XON/XOFF around answers", {"\x13\x12\x11", "\x11\x12", "\x12\x13", "\x12"}, {{3, "\x11"}}, false, S::Ready, all, 0},
        {"XOFF in place of the answer", {"\x13"}, {}, false, S::NoStatus, r1, 1000},
        {"a frame cut short before a request", ready, {{2, std::string("\x10\x00", 2)}}, false, S::NotAPrinter, r1, 1000},
        {"a frame cut short by an answer", {std::string("\x10\x00\x12", 3)}, {}, false, S::NotAPrinter, r1, 0},
        {"a frame's byte with bit 7 set", {std::string("\x10\x00\x80\x00\x12", 5)}, {}, false, S::NotAPrinter, r1, 0},
        {"a lone frame byte after an answer", ready, {{2, std::string(1, '\0')}}, false, S::NotAPrinter, r1, 0},
    };
    for (const auto& row : rows) {
        ScriptedChannel channel(row.replies, row.unasked, row.hangsUp);
        EXPECT_EQ(AskPrinterStatus(channel), row.state) << row.what;
        EXPECT_EQ(channel.sent, row.sent) << row.what;
        EXPECT_EQ(channel.now_, row.ms) << row.what;
        for (const auto deadline : channel.deadlines) EXPECT_EQ(deadline, 1000u) << row.what;
    }
}

// The drawer's sensor is read, the pulse sent, and the sensor read again
// up to five times, a pause before each, until bit 0x04 differs; the other
// bits do not count. A printer that gives no sensor reading before or after
// the kick, or hangs up, leaves the kick sent but unconfirmed; a kick that
// cannot be written is not sent.
TEST(CashDrawer, SensorBeforeAndAfterTheKick) {
    using R = DrawerResult;
    const std::string ask("\x10\x04\x01", 3), pin2("\x1bp\x00\x19\xfa", 5), pin5("\x1bp\x01\x19\xfa", 5);
    const auto asks = [&](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += ask;
        return out;
    };
    const struct {
        const char* what;
        std::vector<std::string> replies;  // per send: the kick is the second
        bool hangsUp;
        int refuseFrom;
        DrawerPin pin;
        R result;
        std::string sent;
        int pauses;
    } rows[] = {
        {"opens at once, pin 2", {"\x12", "", "\x16"}, false, 0, DrawerPin::Pin2, R::Opened, ask + pin2 + ask, 1},
        {"opens at the last check, pin 5", {"\x12", "", "\x12", "\x12", "\x12", "\x12", "\x16"}, false, 0,
         DrawerPin::Pin5, R::Opened, ask + pin5 + asks(5), 5},
        {"open before, shut after", {"\x16", "", "\x12"}, false, 0, DrawerPin::Pin2, R::Opened, ask + pin2 + ask, 1},
        {"never changes", {"\x12", "", "\x12", "\x12", "\x12", "\x12", "\x12"}, false, 0, DrawerPin::Pin2,
         R::Unchanged, ask + pin2 + asks(5), 5},
        {"goes offline, the sensor unchanged", {"\x12", "", "\x1A", "\x1A", "\x1A", "\x1A", "\x1A"}, false, 0,
         DrawerPin::Pin5, R::Unchanged, ask + pin5 + asks(5), 5},
        {"mute", {}, false, 0, DrawerPin::Pin2, R::NoSensor, ask + pin2, 0},
        {"mute after the kick", {"\x12"}, false, 0, DrawerPin::Pin2, R::NoSensor, ask + pin2 + ask, 1},
        {"hangs up after the kick", {"\x12"}, true, 0, DrawerPin::Pin5, R::NoSensor, ask + pin5 + ask, 1},
        {"no printer's byte", {"A"}, false, 0, DrawerPin::Pin2, R::NoSensor, ask + pin2, 0},
        {"hung up before the kick", {}, true, 2, DrawerPin::Pin2, R::NotSent, ask, 0},
    };
    for (const auto& row : rows) {
        ScriptedChannel channel(row.replies, {}, row.hangsUp);
        channel.refuseFrom = row.refuseFrom;
        int pauses = 0;
        const auto pause = [&](std::uint32_t ms) {
            EXPECT_EQ(ms, 100u) << row.what;
            ++pauses;
        };
        EXPECT_EQ(KickAndWatchDrawer(channel, row.pin, pause), row.result) << row.what;
        EXPECT_EQ(channel.sent, row.sent) << row.what;
        EXPECT_EQ(pauses, row.pauses) << row.what;
    }
}

// A line whose peer answers request n with replies[n - 1]: pieces of bytes,
// each arriving its own time after the request; stale bytes wait before the
// first. When hangsUp, a receive with nothing left finds the peer gone.
class TimedChannel : public StatusChannel {
public:
    struct Piece {
        std::uint64_t afterMs;
        std::string bytes;
    };
    TimedChannel(std::vector<std::vector<Piece>> replies, std::string stale, bool hangsUp)
        : replies_(std::move(replies)), hangsUp_(hangsUp) {
        for (const char c : stale) incoming_.emplace(0, c);
    }
    Result<std::string> takeWaiting() override {
        std::string bytes;
        while (!incoming_.empty() && incoming_.begin()->first <= now_) {
            bytes += incoming_.begin()->second;
            incoming_.erase(incoming_.begin());
        }
        return {bytes, winerr::Success};
    }
    WinError send(const std::string& bytes) override {
        sent += bytes;
        if (requests_ < replies_.size())
            for (const auto& piece : replies_[requests_])
                for (const char c : piece.bytes) incoming_.emplace(now_ + piece.afterMs, c);
        ++requests_;
        return winerr::Success;
    }
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        deadlines.push_back(timeoutMs);
        if (incoming_.empty() && hangsUp_) return {{}, winerr::Success};
        if (incoming_.empty() || incoming_.begin()->first > now_ + timeoutMs) {
            now_ += timeoutMs;
            return {{}, winerr::Timeout};
        }
        now_ = std::max(now_, incoming_.begin()->first);
        std::string bytes;
        while (bytes.size() < maxBytes && !incoming_.empty() && incoming_.begin()->first <= now_) {
            bytes += incoming_.begin()->second;
            incoming_.erase(incoming_.begin());
        }
        return {bytes, winerr::Success};
    }
    std::uint64_t nowMs() override { return now_; }
    std::string sent;
    std::vector<std::uint32_t> deadlines;
    std::uint64_t now_ = 0;

private:
    std::vector<std::vector<Piece>> replies_;
    bool hangsUp_;
    std::multimap<std::uint64_t, char> incoming_;
    std::size_t requests_ = 0;
};

// GS I 67, 66, 68, one at a time, each answer 5F <text> 00 within 150 ms:
// printable ASCII kept (blanks at the ends trimmed), 32 characters at most;
// an answer after its wait is drained and dropped, the next request going
// out only after its end; one that never comes ends the asking.
TEST(PrinterIdentity, AskedOneAtATimeAndReadByTheRules) {
    using P = TimedChannel::Piece;
    const std::string model("\x1D\x49\x43", 3), maker("\x1D\x49\x42", 3), serial("\x1D\x49\x44", 3), all = model + maker + serial;
    const auto named = [](const std::string& text) { return std::vector<P>{{1, "_" + text + std::string(1, '\0')}}; };
    const std::string z(1, '\0');
    const struct {
        const char* what;
        std::vector<std::vector<P>> replies;
        std::string stale;
        bool hangsUp;
        PrinterIdentity identity;
        std::string sent;
        std::uint64_t ms;
    } rows[] = {
        {"named", {named("RK-730P"), named("Kelp Test"), named("SN0001")}, "", false, {"Kelp Test", "RK-730P", "SN0001"}, all, 3},
        {"mute", {}, "", false, {}, model, 300},
        {"unterminated", {{{1, "_RK-730P"}}}, "", false, {}, model, 300},
        {"32 characters of 40", {named(std::string(32, 'M') + "XXXXXXXX"), named("K"), named("S")}, "", false,
         {"K", std::string(32, 'M'), "S"}, all, 3},
        {"not printable dropped, blanks trimmed",
         {{{1, "_ RK\x01-730\xFFP\t " + z}}, named("\x7F" "~Kelp\x80"), {{1, "_" + z}}}, "", false, {"~Kelp", "RK-730P", ""}, all, 3},
        {"status frame and XOFF before the text", {{{1, std::string("\x13\x10\x00\x00\x00_RK-730P", 13) + z}}, named("K"), named("S")},
         "", false, {"K", "RK-730P", "S"}, all, 3},
        {"late answer drained, the next one's read", {{{200, "_RK-730P" + z}}, named("Kelp"), named("SN9")}, "", false,
         {"Kelp", "", "SN9"}, all, 202},
        {"late half of an answer", {{{1, "_RK-7"}, {290, "30P" + z}}, named("Kelp"), named("SN9")}, "", false,
         {"Kelp", "", "SN9"}, all, 292},
        {"later than the drain", {{{301, "_RK-730P" + z}}, named("Kelp")}, "", false, {}, model, 300},
        {"stale answer before the first request", {named("RK-730P"), named("K"), named("S")}, "_OLD" + z, false,
         {"K", "RK-730P", "S"}, all, 3},
        {"hangs up after the model", {named("RK-730P")}, "", true, {"", "RK-730P", ""}, model + maker, 1},
        {"runs on without its end", {{{1, "_" + std::string(300, 'A') + z}}, named("K")}, "", false, {}, model, 1},
        {"256 bytes with its end", {{{1, "_" + std::string(255, 'A') + z}}, named("K"), named("S")}, "", false,
         {"K", std::string(32, 'A'), "S"}, all, 3},
    };
    for (const auto& row : rows) {
        TimedChannel channel(row.replies, row.stale, row.hangsUp);
        const PrinterIdentity identity = AskPrinterIdentity(channel);
        EXPECT_EQ(identity.maker, row.identity.maker) << row.what;
        EXPECT_EQ(identity.model, row.identity.model) << row.what;
        EXPECT_EQ(identity.serial, row.identity.serial) << row.what;
        EXPECT_EQ(identity.named(), !row.identity.model.empty()) << row.what;
        EXPECT_EQ(channel.sent, row.sent) << row.what;
        EXPECT_EQ(channel.now_, row.ms) << row.what;
        for (const auto deadline : channel.deadlines) EXPECT_LE(deadline, 150u) << row.what;
    }
    // Only a printer that said it can print is asked.
    for (const auto state : {PrinterState::Ready, PrinterState::PaperNearEnd})
        EXPECT_TRUE(StateAllowsIdentity(state));
    for (const auto state : {PrinterState::PaperOut, PrinterState::CoverOpen, PrinterState::Offline, PrinterState::Error,
                             PrinterState::NoStatus, PrinterState::Refused, PrinterState::NoAnswer, PrinterState::NotAPrinter,
                             PrinterState::PortNotOpen})
        EXPECT_FALSE(StateAllowsIdentity(state));
}

}  // namespace
}  // namespace kelp
