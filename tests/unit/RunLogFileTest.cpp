// The log file the run makes, and the lock the run holds.
#include <gtest/gtest.h>

#include <functional>

#include "fake/FakeNetwork.h"
#include "fake/FakePlatform.h"
#include "fake/FakeSerialPorts.h"
#include "install/Installation.h"
#include "install/InstallationLock.h"
#include "install/Removal.h"
#include "install/TestReceipt.h"
#include "install/RunLog.h"
#include "install/Wording.h"
#include "platform/ForwardingPlatform.h"

namespace kelp {
namespace {

// Another process at work between the opening of a log file and what the
// run does next.
class GapPlatform final : public ForwardingPlatform {
public:
    using Gap = std::function<void(Result<LogFile>& file, bool createNew)>;
    GapPlatform(FakePlatform& machine, Gap gap) : ForwardingPlatform(machine), gap_(std::move(gap)) {}
    Result<LogFile> openLogFile(const std::string& path, bool createNew) override {
        auto file = inner().openLogFile(path, createNew);
        gap_(file, createNew);
        return file;
    }

private:
    Gap gap_;
};

// A file made for the log and not used goes again through its handle, the
// file it made, wherever it is now; a file that was there stays. Nothing is
// ever deleted by its name.
TEST(RunLogFile, AFileMadeAndNotUsedIsDeletedThroughItsHandle) {
    const struct {
        const char* planted;  // at C:\logs\k.log before the run; nothing: none
        std::uint32_t links;
        bool swapped;          // the file made is renamed and another put at its name
        bool besideLinked;     // the file beside is made through a link
        std::vector<std::pair<const char*, const char*>> left;  // files and contents after
        const char* notice;
    } rows[] = {
        {nullptr, 1, false, false, {}, "a folder on its way is a link or a junction. This run keeps no log."},
        {"planted", 1, false, false, {{"C:\\logs\\k.log", "planted"}},
         "a folder on its way is a link or a junction. This run keeps no log."},
        {nullptr, 1, true, false, {{"C:\\logs\\k.log", "another's"}},
         "a folder on its way is a link or a junction. This run keeps no log."},
        {"planted", 2, false, true, {{"C:\\logs\\k.log", "planted"}},
         "it has 2 names (hard links). This run keeps no log."},
    };
    for (const auto& row : rows) {
        FakePlatform m;
        m.makeDirectory("C:\\logs");
        if (row.planted) {
            m.writeFile("C:\\logs\\k.log", row.planted);
            m.setFileFacts("C:\\logs\\k.log", row.links, false, true);
        }
        if (!row.besideLinked) m.setLinkOnTheWay("C:\\logs");
        GapPlatform gap(m, [&](Result<LogFile>& file, bool createNew) {
            if (row.swapped) {
                m.moveFile("C:\\logs\\k.log", "C:\\elsewhere\\k.log");
                m.writeFile("C:\\logs\\k.log", "another's");
            }
            if (row.besideLinked && createNew) file.value.linkOnTheWay = true;
        });
        {
            RunLog log(gap, "C:\\logs\\k.log");
            EXPECT_EQ(DescribeLogNotice(log.trouble(), Language::English),
                      std::string("The log \"C:\\logs\\k.log\" was not written: ") + row.notice);
            EXPECT_FALSE(log.refused());
            EXPECT_FALSE(log.writable());
        }
        std::vector<std::pair<std::string, std::string>> left;
        for (const auto& file : m.files()) left.emplace_back(file, *m.fileContents(file));
        EXPECT_EQ(left, (std::vector<std::pair<std::string, std::string>>(row.left.begin(), row.left.end()))) << row.notice;
        EXPECT_TRUE(m.callsOf("deleteFile").empty());
        EXPECT_EQ(m.callsOf("discardLogFile").size(), row.planted && !row.besideLinked ? 0u : 1u);
        EXPECT_EQ(m.openLogFileCount(), 0u);
    }
}

// The lock: taken once, given back once, by release() or at the end; one
// another run holds is neither.
TEST(InstallationLockTest, TakenOnceGivenBackOnce) {
    FakePlatform m;
    {
        InstallationLock lock(m, nullptr);
        EXPECT_EQ(lock.error(), 0u);
        EXPECT_FALSE(lock.heldElsewhere());
        EXPECT_EQ(m.heldMutexes(), std::vector<std::string>{"private:Kelp\\Installation"});
        lock.release();
        lock.release();
        EXPECT_TRUE(m.heldMutexes().empty());
    }
    EXPECT_EQ(m.callsOf("releaseNamedMutex").size(), 1u);
    {
        InstallationLock lock(m, nullptr);
    }
    EXPECT_EQ(m.callsOf("releaseNamedMutex").size(), 2u);
    m.holdMutexElsewhere("private:Kelp\\Installation");
    {
        InstallationLock lock(m, nullptr);
        EXPECT_NE(lock.error(), 0u);
        EXPECT_TRUE(lock.heldElsewhere());
        EXPECT_EQ(lock.error(), 1618u);
    }
    m.setPrivateMutexError(6);
    {
        InstallationLock lock(m, nullptr);
        EXPECT_FALSE(lock.heldElsewhere());
        EXPECT_EQ(lock.error(), 6u);
    }
    EXPECT_EQ(m.callsOf("releaseNamedMutex").size(), 2u);
}

// Each operation under a lock held elsewhere is busy, under one that fails
// otherwise a failure with its error; neither changes the machine.
TEST(InstallationLockTest, EveryOperationStopsAtALockNotTaken) {
    for (const WinError error : {WinError{1618}, WinError{6}}) {
        SCOPED_TRACE(error);
        FakePlatform m;
        FakeNetwork network;
        FakeSerialPorts serial;
        m.createSamplePackage();
        m.seedPrinter({"RK-520P", "COM1:", "RK-520P", "WinPrint", "RAW"});
        m.setPrivateMutexError(error);
        const bool busy = error == 1618;
        InstallationRequest install;
        install.portChoice = PortChoice::Named;
        install.port = "LPT1:";
        const InstallationOutcome installed = InstallPrinter(m, network, install, nullptr);
        EXPECT_EQ(installed.stop, busy ? InstallationStop::Busy : InstallationStop::LockFailed);
        EXPECT_EQ(installed.error, busy ? 0u : 6u);
        EXPECT_EQ(RemoveModel(m, "RK-520P", nullptr), busy ? RemovalOutcome::Busy : RemovalOutcome::LockFailed);
        const TestReceiptOutcome receipt = PrintTestReceipt(m, network, serial, TestReceiptRequest{}, nullptr);
        EXPECT_EQ(receipt.result, busy ? TestReceiptResult::Busy : TestReceiptResult::LockFailed);
        EXPECT_EQ(receipt.error, error);
        EXPECT_TRUE(m.rawJobs().empty());
        EXPECT_TRUE(serial.opened().empty());
        EXPECT_EQ(m.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "COM1:");
        EXPECT_TRUE(m.callsOf("copyFile").empty());
        EXPECT_TRUE(m.callsOf("deletePrinter").empty());
    }
}

}  // namespace
}  // namespace kelp
