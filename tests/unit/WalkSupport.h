// Checks shared by the random walk and the fault injection: what a whole
// wizard run may leave behind on the machine, read from the fake's call log
// and state, and what the printer settings page must say about an
// installation, derived from the answers the platform gave.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "fake/FakeDialog.h"
#include "fake/FakeNetwork.h"
#include "fake/FakeSerialPorts.h"
#include "fake/FakePlatform.h"
#include "install/DriverInstaller.h"

namespace kelp::walk {

// The registry keys the wizard touches, spelled out here rather than taken
// from the product, so that a wrong character there fails a check.
constexpr const char* kDeviceKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr const char* kSerialDeviceKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kPrintersKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
constexpr const char* kControlSet001PrintersKey = "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\";
constexpr const char* kCurrentControlSetPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr const char* kOnlineKey =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\";

// The port page's category labels, which are never port names.
inline bool IsCategoryLabel(const std::string& text) {
    for (const char* label : {"COM", "USB", "网络端口", "Serial Port", "Ethernet Ports"})
        if (text == label) return true;
    return false;
}

inline bool KeyIs(const std::string& keyArg, const char* path) {
    const std::string tail = std::string("\\") + path;
    return keyArg.size() >= tail.size() && keyArg.compare(keyArg.size() - tail.size(), tail.size(), tail) == 0;
}

// The value writes of the installation: the default printer and the COM
// port's settings (regOpenKey args: root, path; regSetString args: key, ...).
inline bool IsInstallKeyOpen(const PlatformCall& c) {
    return c.op == "regOpenKey" && (c.args[1] == kDeviceKey || c.args[1] == kPortsKey);
}
inline bool IsInstallKeyWrite(const PlatformCall& c) {
    return c.op == "regSetString" && (KeyIs(c.args[0], kDeviceKey) || KeyIs(c.args[0], kPortsKey));
}

// The platform operations that only an installation may use.
inline bool IsInstallOp(const std::string& op) {
    for (const char* name : {"printerDriverDirectory", "copyFile", "addPrinterDriver", "enumPrinters", "addPrinter",
                             "closePrinter", "regSetString", "regSetDword", "regCreateKey", "sleep"})
        if (op == name) return true;
    return false;
}

// One installation pass in the call log: from its driver-directory query to
// the next one (or the end), and what its answers say happened.
struct Pass {
    std::size_t begin = 0, end = 0;  // call indexes
    struct Failure {
        const char* chinese;  // the report's phrase for the step
        const char* english;
        WinError error;
    };
    std::vector<Failure> failures;
    bool printerExisted = false;
    bool printerCreated = false;
    int registryErrors = 0;  // failed writes, each shown at once
};

inline std::vector<Pass> FindPasses(const std::vector<PlatformCall>& calls, std::size_t from = 0,
                                    std::size_t to = static_cast<std::size_t>(-1)) {
    to = std::min(to, calls.size());
    std::vector<Pass> passes;
    for (std::size_t i = from; i < to; ++i) {
        if (calls[i].op == "printerDriverDirectory") {
            if (!passes.empty()) passes.back().end = i;
            passes.push_back({});
            passes.back().begin = i;
        }
    }
    if (!passes.empty()) passes.back().end = to;
    for (auto& pass : passes) {
        bool listed = false, added = false, deviceWritten = false;
        for (std::size_t i = pass.begin; i < pass.end; ++i) {
            const PlatformCall& c = calls[i];
            const WinError e = c.result;
            const bool device = (c.op == "regOpenKey" && c.args[1] == kDeviceKey) ||
                                (c.op == "regSetString" && KeyIs(c.args[0], kDeviceKey));
            if (c.op == "enumPrinters" && e == 0) listed = true;
            // After "Device", the key opened again to keep the default is
            // the log's to report, not the pass's.
            if (device && deviceWritten) continue;
            if (c.op == "regSetString" && KeyIs(c.args[0], kDeviceKey) && e == 0) deviceWritten = true;
            if (c.op == "addPrinter") {
                added = true;
                if (e == 0) pass.printerCreated = true;
                if (e == winerr::PrinterAlreadyExists) pass.printerExisted = true;
            }
            if (e == 0) continue;
            if (c.op == "printerDriverDirectory")
                pass.failures.push_back(
                    {"无法获取打印机驱动目录：", "Could not get the printer driver directory for ", e});
            else if (c.op == "copyFile")
                pass.failures.push_back({"无法复制文件：", "Could not copy the file ", e});
            else if (c.op == "addPrinterDriver")
                pass.failures.push_back({"无法安装打印机驱动：", "Could not install the printer driver ", e});
            else if (c.op == "addPrinter" && e != winerr::PrinterAlreadyExists)
                pass.failures.push_back({"无法创建打印机：", "Could not create the printer ", e});
            else if (IsInstallKeyOpen(c) || IsInstallKeyWrite(c)) {
                if (device)
                    pass.failures.push_back(
                        {"无法设置默认打印机：", "Could not make the printer the default printer: ", e});
                else
                    pass.failures.push_back({"无法保存端口设置：", "Could not save the port settings of ", e});
                if (c.op == "regSetString") ++pass.registryErrors;
            }
        }
        // A printer the spooler listed already is not added again.
        const bool driverAdded =
            std::any_of(calls.begin() + static_cast<std::ptrdiff_t>(pass.begin),
                        calls.begin() + static_cast<std::ptrdiff_t>(pass.end),
                        [](const PlatformCall& c) { return c.op == "addPrinterDriver" && c.result == 0; });
        if (listed && !added && driverAdded) pass.printerExisted = true;
        // The printer is read back after it was created or found: the pass's
        // last listing of printers.
        for (std::size_t i = pass.end; driverAdded && (pass.printerCreated || pass.printerExisted) && i-- > pass.begin;) {
            if (calls[i].op != "enumPrinters") continue;
            if (calls[i].result != 0)
                pass.failures.push_back(
                    {"打印后台程序中的打印机与安装的不符：", "The spooler does not show the printer as installed: ", 0});
            break;
        }
    }
    return passes;
}

// What one pass may do after a step it depends on failed, and the handles
// it must give back.
inline void ExpectPassDependencies(const std::vector<PlatformCall>& calls, const Pass& pass) {
    bool directoryFailed = false, copyFailed = false, driverOk = false, printerOk = false;
    int closes = 0;
    for (std::size_t i = pass.begin; i < pass.end; ++i) {
        const PlatformCall& c = calls[i];
        SCOPED_TRACE(testing::Message() << "call " << i << ": " << c);
        if (c.op == "printerDriverDirectory") directoryFailed = c.result != 0;
        if (c.op == "copyFile") {
            EXPECT_FALSE(directoryFailed) << "a copy after a failed driver directory query";
            EXPECT_NE(c.args[1].substr(0, 1), "\\") << "a copy to a bare backslash path";
            if (c.result != 0) copyFailed = true;
        }
        if (c.op == "addPrinterDriver") {
            EXPECT_FALSE(directoryFailed || copyFailed) << "a driver registered over files that were not copied";
            driverOk = c.result == 0;
        }
        if (c.op == "addPrinter") {
            EXPECT_TRUE(driverOk) << "a printer added without its driver";
            printerOk = c.result == 0 || c.result == winerr::PrinterAlreadyExists;
        }
        // The serial-line settings belong to the port and are written
        // whatever happened; the default printer needs the printer.
        if ((IsInstallKeyOpen(c) && c.args[0] == "HKCU") || (IsInstallKeyWrite(c) && c.args[1] == "Device")) {
            EXPECT_TRUE(driverOk && (printerOk || pass.printerExisted))
                << "a default printer set for a printer that is not there";
        }
        if (c.op == "regSetString" && c.args[1] == "Device") {
            const std::string& device = c.args[2];
            const auto comma = device.find(",winspool,");
            EXPECT_NE(comma, std::string::npos) << device;
            if (comma != std::string::npos) {
                EXPECT_FALSE(device.substr(comma + 10).empty()) << device;
            }
        }
        if (c.op == "closePrinter") {
            ++closes;
            EXPECT_NE(c.args[0], "0") << "ClosePrinter without a handle";
            EXPECT_NE(c.args[0].substr(0, 1), "#") << "ClosePrinter of a closed handle";
        }
    }
    EXPECT_EQ(closes, pass.printerCreated ? 1 : 0) << "each printer handle is closed once";
}

// Keys, printer handles and created printers at the end of a run.
// `seeded` is how many printers the machine had before.
inline void ExpectMachineClean(const FakePlatform& p, std::size_t seeded) {
    std::size_t opened = 0, closes = 0, failedCloses = 0, failedPrinterCloses = 0;
    for (const auto& c : p.calls()) {
        if ((c.op == "regOpenKey" || c.op == "regCreateKey") && c.result == 0) ++opened;
        if (c.op == "regCloseKey") {
            ++closes;
            if (c.result != 0) ++failedCloses;
        }
        if (c.op == "closePrinter" && c.result != 0) ++failedPrinterCloses;
    }
    EXPECT_EQ(opened, closes) << "every key opened is closed once";
    EXPECT_TRUE(p.invalidKeyUses().empty()) << p.invalidKeyUses().front();
    // A close the system refused leaves its key open; nothing else may.
    EXPECT_EQ(p.openKeys().size(), failedCloses);
    EXPECT_EQ(p.openPrinterCount(), failedPrinterCloses);
    for (std::size_t i = seeded; i < p.printers().size(); ++i) {
        const std::string& port = p.printers()[i].portName;
        EXPECT_FALSE(port.empty()) << "printer " << p.printers()[i].printerName << " on no port";
        EXPECT_FALSE(IsCategoryLabel(port)) << "printer " << p.printers()[i].printerName << " on the label " << port;
    }
    for (const auto& c : p.callsOf("addPrinter")) {
        EXPECT_FALSE(c.args[1].empty()) << c;
        EXPECT_FALSE(IsCategoryLabel(c.args[1])) << c;
    }
}

constexpr const char* kCompletedChinese = "驱动安装完成";
constexpr const char* kCompletedEnglish = "Driver installation completed";

// What the printer settings page shows after an installation pass: the
// messages it showed from the end of the pass on. port: where the model's
// printer is afterwards, which a second line names after a success.
inline void ExpectReport(const Pass& pass, const std::vector<MessageBoxRecord>& shown, int englishFlag, int osCode,
                         const std::string& port) {
    const bool english = englishFlag == 1;
    std::vector<std::string> texts;
    for (const auto& m : shown) texts.push_back(m.text);
    SCOPED_TRACE(testing::Message() << "settings page messages: " << testing::PrintToString(texts));
    if (pass.failures.empty() && !pass.printerExisted) {
        if (osCode >= 3 && osCode <= 9) {
            ASSERT_EQ(texts.size(), 1u);
            const std::string head = std::string(english ? kCompletedEnglish : kCompletedChinese) +
                                     (english ? "\nPort: " : "\n端口：") + port;
            EXPECT_EQ(texts[0].substr(0, head.size()), head);
            EXPECT_EQ(texts[0].find('\n', head.size()), std::string::npos) << texts[0];
        } else {
            EXPECT_TRUE(texts.empty()) << "no completion message on osCode " << osCode;
        }
        return;
    }
    ASSERT_EQ(texts.size(), 1u) << "one report after the installation";
    const std::string& text = texts[0];
    EXPECT_NE(text, kCompletedChinese);
    EXPECT_NE(text, kCompletedEnglish);
    if (pass.failures.empty()) {
        EXPECT_NE(text.find(english ? "already exist" : "已存在"), std::string::npos) << text;
        EXPECT_NE(text.find((english ? ".\nPort: " : "。\n端口：") + port), std::string::npos) << text;
        return;
    }
    const bool printerInstalled = text.rfind(english ? "The printer \"" : "打印机“", 0) == 0;
    if (!printerInstalled) {
        EXPECT_EQ(text.rfind(english ? "Driver installation failed:" : "驱动安装失败：", 0), 0u) << text;
    }
    EXPECT_EQ(shown[0].icon, MessageIcon::Exclamation);
    for (const auto& f : pass.failures) {
        EXPECT_NE(text.find(english ? f.english : f.chinese), std::string::npos) << text;
        const std::string code = english ? "(error " + std::to_string(f.error) : "（错误 " + std::to_string(f.error);
        EXPECT_EQ(text.find(code) != std::string::npos, f.error != 0) << text;
    }
    if (pass.printerExisted) {
        EXPECT_NE(text.find(english ? "already exist" : "已存在"), std::string::npos) << text;
    }
}

}  // namespace kelp::walk
