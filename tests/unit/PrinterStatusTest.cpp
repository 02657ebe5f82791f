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

}  // namespace
}  // namespace kelp
