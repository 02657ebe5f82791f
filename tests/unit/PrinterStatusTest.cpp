#include <gtest/gtest.h>

#include <map>

#include "install/PrinterStatus.h"

namespace kelp {
namespace {

// A line whose peer answers request n with answers[n - 1] ('-': nothing in
// time) and has unasked[n] waiting before request n (unasked[5]: after the
// fourth answer). A channel that cannot count what it drops (counts false)
// keeps StatusChannel's own discardWaiting.
class ScriptedChannel : public StatusChannel {
public:
    ScriptedChannel(std::string answers, std::map<int, std::string> unasked, bool counts)
        : answers_(std::move(answers)), unasked_(std::move(unasked)), counts_(counts) {}
    WinError discard() override {
        ++discards;
        waiting_.clear();
        return winerr::Success;
    }
    Result<std::size_t> discardWaiting() override {
        waiting_ += unasked_[requests_ + 1];
        if (!counts_) return StatusChannel::discardWaiting();
        const std::size_t count = waiting_.size();
        waiting_.clear();
        return {count, winerr::Success};
    }
    WinError send(const std::string& bytes) override {
        sent += bytes;
        ++requests_;
        if (requests_ <= static_cast<int>(answers_.size()) && answers_[requests_ - 1] != '-')
            waiting_ += answers_[requests_ - 1];
        return winerr::Success;
    }
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        deadlines.push_back(timeoutMs);
        if (waiting_.empty()) return {{}, winerr::Timeout};
        const std::string bytes = waiting_.substr(0, maxBytes);
        waiting_.erase(0, bytes.size());
        return {bytes, winerr::Success};
    }
    std::string sent;
    int discards = 0;
    std::vector<std::uint32_t> deadlines;

private:
    std::string answers_;
    std::map<int, std::string> unasked_;
    bool counts_;
    std::string waiting_;
    int requests_ = 0;
};

// Each answer counts only after its request; anything unasked, or an answer
// without the fixed bits, is no printer and ends the exchange; ready needs
// all four answers.
TEST(PrinterStatus, AnswersCountOnlyAfterTheirRequest) {
    using S = PrinterState;
    const std::string r1("\x10\x04\x01", 3), r12 = r1 + "\x10\x04\x02", r123 = r12 + "\x10\x04\x03",
                      all = r123 + "\x10\x04\x04";
    const struct {
        const char* what;
        std::string answers;
        std::map<int, std::string> unasked;
        bool counts;
        S state;
        std::string sent;
    } rows[] = {
        {"ready", "\x12\x12\x12\x12", {}, true, S::Ready, all},
        {"near end", "\x12\x12\x12\x1E", {}, true, S::PaperNearEnd, all},
        {"silent", "", {}, true, S::NoStatus, r1},
        {"one answer of four", "\x12---", {}, true, S::NoStatus, r12},
        {"three answers of four", "\x12\x12\x12-", {}, true, S::NoStatus, all},
        {"offline, then silent", "\x1A", {}, true, S::Offline, r12},
        {"speaks first", "\x12\x12\x12\x12", {{1, "RFB 003.008\n"}}, true, S::NotAPrinter, ""},
        {"a late second byte", "\x12\x12\x12\x12", {{3, "\x12"}}, true, S::NotAPrinter, r12},
        {"a byte after the last answer", "\x12\x12\x12\x12", {{5, "\x12"}}, true, S::NotAPrinter, all},
        {"a banner's first byte fits", "2", {{2, "20 Service ready\r\n"}}, true, S::NotAPrinter, r1},
        {"bit 0 set", "\x12\x13", {}, true, S::NotAPrinter, r12},
        {"bit 1 clear", "\x10", {}, true, S::NotAPrinter, r1},
        {"bit 4 clear", "\x12\x12\x02", {}, true, S::NotAPrinter, r123},
        {"bit 7 set", "\x12\x12\x12\x92", {}, true, S::NotAPrinter, all},
        {"nothing counted: the banner is dropped", "\x12\x12\x12\x12", {{1, "RFB"}}, false, S::Ready, all},
    };
    for (const auto& row : rows) {
        ScriptedChannel channel(row.answers, row.unasked, row.counts);
        EXPECT_EQ(AskPrinterStatus(channel), row.state) << row.what;
        EXPECT_EQ(channel.sent, row.sent) << row.what;
        for (const auto deadline : channel.deadlines) EXPECT_EQ(deadline, 1000u) << row.what;
        if (!row.counts) {
            EXPECT_EQ(channel.discards, 5) << row.what;
        }
    }
}

}  // namespace
}  // namespace kelp
