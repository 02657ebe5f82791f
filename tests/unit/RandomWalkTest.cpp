// A seeded random walk through the whole wizard: on every page that opens, a
// simulated user picks at random among the things one can do there (click a
// visible enabled button, choose a combo row or a list row, Enter, Esc, the
// close box, the window menu, now and then a hidden button's command), on
// random machines, some of which refuse one platform operation. After every
// step and at the end of every walk the wizard's state and the machine must
// be sound. A failure names the seed and the walk, which replay exactly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "WalkSupport.h"
#include "app/InstallerApp.h"
#include "install/Wording.h"
#include "install/SpoolerPorts.h"
#include "install/ModelCatalogue.h"
#include "install/PortInventory.h"
#include "pages/PortPage.h"
#include "platform/ForwardingPlatform.h"
#include "res/resource.h"

namespace kelp {
namespace {

using walk::IsInstallOp;

constexpr std::uint32_t kSeeds[] = {1, 7, 2024, 31337, 4242424242u};
constexpr int kWalksPerSeed = 120;
constexpr int kStepsPerDialog = 30;  // then the walker presses Esc
constexpr int kStepsPerWalk = 400;   // then every open dialog is left with Esc
constexpr int kRunawayCalls = 3000;  // an "always failing" op answers again after this many calls

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    // Modulo keeps the sequence the same with every standard library.
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T>
    T pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(items.size())))];
    }

private:
    std::mt19937 engine_;
};

// What the walker is doing right now; nested dialogs push their own.
struct Action {
    int templateId;
    std::string what;
    bool install;  // a command 1022 reaching the port page
};

// Forwards every call to the in-memory machine and tells `watch` first,
// with the arguments it looks at for the calls that have them.
class WatchedPlatform final : public ForwardingPlatform {
public:
    using Watch = std::function<void(const std::string& op, const std::vector<std::string>& args)>;
    WatchedPlatform(FakePlatform& machine, Watch watch) : ForwardingPlatform(machine), watch_(std::move(watch)) {}

    WinError configurePort(WindowHandle owner, const std::string& port) override {
        watch_("configurePort", {port});
        return inner().configurePort(owner, port);
    }
    Result<PrinterHandle> addPrinter(const PrinterInfo2& printer) override {
        watch_("addPrinter", {printer.portName});
        return inner().addPrinter(printer);
    }
    Result<RegKey> regOpenKey(RegRoot root, const std::string& path, RegAccess access) override {
        watch_("regOpenKey", {access == RegAccess::SetValue ? "SetValue" : "other"});
        return inner().regOpenKey(root, path, access);
    }

protected:
    void called(PlatformOp op) override { watch_(std::string(InfoOf(op).name), {}); }

private:
    Watch watch_;
};

// Runs each page through the fake host with a walker script queued for
// exactly that showing, so that the walk needs no plan of the pages to come.
class WalkingHost : public DialogHost {
public:
    WalkingHost(FakeDialogHost& fake, std::function<void(FakeDialog&)> walker)
        : fake_(fake), walker_(std::move(walker)) {}
    int runModal(Page& page) override {
        fake_.onNextShow(page.templateId(), walker_);
        return fake_.runModal(page);
    }

private:
    FakeDialogHost& fake_;
    std::function<void(FakeDialog&)> walker_;
};

bool IsButton(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::PushButton || kind == ControlKind::DefPushButton ||
           kind == ControlKind::Radio || kind == ControlKind::Check;
}

const char* const kFailableOps[] = {
    "enumPorts",        "enumMonitors",  "addPort",      "configurePort", "enumPrinters", "printerDriverDirectory",
    "addPrinterDriver", "addPrinter",    "closePrinter", "regOpenKey",    "regCreateKey", "regSetString",
    "regSetDword",      "regQueryValue", "regEnumValue", "regCloseKey",   "shellOpen",    "versionQuery",
    "currentDirectory", "copyFile",     "acquireNamedMutex"};

struct Coverage {
    long steps = 0;
    int walks = 0;
    int installs = 0;
    int failedInstalls = 0;
    int portTypesDialogs = 0;
    int aboutBoxes = 0;
    int launches = 0;
    int refusedInstalls = 0;  // the port page said there is no port
    int faults = 0;
};

class RandomWalk {
public:
    RandomWalk(std::uint32_t seed, int walk, Coverage& coverage)
        : rng_(seed * 1000003u + static_cast<std::uint32_t>(walk)), coverage_(coverage) {}

    void run() {
        buildMachine();
        WatchedPlatform watched(
            machine_, [this](const std::string& op, const std::vector<std::string>& args) { watch(op, args); });
        WalkingHost walkingHost(host_, [this](FakeDialog& d) { walkDialog(d); });
        FakeNetwork network;
        FakeSerialPorts serial;
        AppContext context{watched, walkingHost, settings_, network, serial};
        InstallerApp app(context);
        try {
            EXPECT_FALSE(app.initInstance());
        } catch (const FakeDialogMisuse& e) {
            ADD_FAILURE() << "dialog misuse: " << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "exception: " << e.what();
        }
        ++coverage_.walks;
        coverage_.launches += static_cast<int>(machine_.callsOf("currentDirectory").size());
        checkEnd();
    }

private:
    // ---- the machine -------------------------------------------------------
    void buildMachine() {
        Random& r = rng_;
        stubbornness_ = r.below(5);
        machine_.setActiveCodePage(r.pick(std::vector<std::uint32_t>{936, 950, 1252}));
        const std::vector<OsVersionInfo> versions = {{6, 1, 2},  {6, 2, 2},  {5, 1, 2},
                                                     {10, 0, 2}, {4, 10, 1}, {4, 0, 2}};
        machine_.setVersion(r.pick(versions));
        machine_.setWow64Answer(r.pick(std::vector<std::optional<int>>{0, 1, std::nullopt, 2}));

        const std::vector<PortRecord> candidates = {
            {"COM1:", "Local Port"}, {"COM2:", "Local Port"},
            {"LPT1:", "Local Port"}, {"LPT2:", "Local Port"},
            {"FILE:", "Local Port"}, {"USB001", "Virtual printer port for USB"},
            {"USB002", ""},          {"IP_192.168.1.50", "Standard TCP/IP Port"},
            {"Ne00:", "Local Port"}, {"COM10:", "Local Port"}};
        std::vector<PortRecord> ports;
        for (const auto& port : candidates)
            if (r.chance(45)) ports.push_back(port);
        for (std::size_t i = ports.size(); i > 1; --i)  // in a random order
            std::swap(ports[i - 1], ports[static_cast<std::size_t>(r.below(static_cast<int>(i)))]);
        machine_.setPorts(ports);
        if (r.chance(30)) machine_.setMonitors({{"Local Port"}, {std::nullopt}, {"Standard TCP/IP Port"}});

        if (r.chance(60)) {
            machine_.seedString(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\Serial0", "COM1");
            if (r.chance(50)) machine_.seedString(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\VCP0", "COM5");
            if (r.chance(30)) machine_.seedDword(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\Odd", 3);
        }
        if (r.chance(85)) machine_.createSamplePackage();
        if (r.chance(80)) machine_.seedKey(RegRoot::CurrentUser, walk::kDeviceKey);
        if (r.chance(80)) machine_.seedKey(RegRoot::LocalMachine, walk::kPortsKey);
        if (r.chance(50)) {
            const std::string printer = ModelCatalogue::rows()[static_cast<std::size_t>(r.below(7))].displayName;
            machine_.seedKey(RegRoot::LocalMachine, walk::kPrintersKey + printer + "\\DsSpooler");
            machine_.seedKey(RegRoot::LocalMachine, walk::kControlSet001PrintersKey + printer);
            machine_.seedKey(RegRoot::LocalMachine, walk::kCurrentControlSetPrintersKey + printer);
            if (r.chance(50))
                machine_.seedDword(RegRoot::LocalMachine, walk::kOnlineKey + printer, "PrinterOnLine", 1);
        }
        if (r.chance(15)) machine_.seedPrinter({"RK-520P", "USB009", "RK-520P", "WinPrint", "RAW"});
        seededPrinters_ = machine_.printers().size();

        // A quarter of the machines refuse one operation, always or once.
        if (r.chance(25)) {
            ++coverage_.faults;
            const std::string op = kFailableOps[r.below(static_cast<int>(std::size(kFailableOps)))];
            const WinError error = r.pick(std::vector<WinError>{winerr::AccessDenied, winerr::FileNotFound,
                                                                winerr::NotEnoughMemory, winerr::InvalidHandle});
            auto count = std::make_shared<int>(0);
            const int at = r.chance(50) ? -1 : r.below(6);
            machine_.failWhen(
                op,
                [count, at](const std::vector<std::string>&) {
                    const int n = (*count)++;
                    return at < 0 ? n < kRunawayCalls : n == at;
                },
                error);
        }
        machine_.clearCalls();
    }

    // ---- watching the platform ----------------------------------------------
    const Action* current() const { return actions_.empty() ? nullptr : &actions_.back(); }

    void watch(const std::string& op, const std::vector<std::string>& args) {
        const bool installOnly = IsInstallOp(op) || (op == "regOpenKey" && args[0] == "SetValue");
        if (installOnly && !(current() && current()->install))
            violation(op + " outside Install, during " + (current() ? current()->what : "page initialisation"));
        if (op == "addPrinter" && (args[0].empty() || walk::IsCategoryLabel(args[0])))
            violation("a printer on the port \"" + args[0] + "\"");
        if (op == "configurePort" && walk::IsCategoryLabel(args[0])) violation("configurePort on the label " + args[0]);
    }

    void violation(const std::string& what) {
        if (violations_.size() < 5) violations_.push_back(what);
    }

    // ---- the walker ------------------------------------------------------------
    void walkDialog(FakeDialog& d) {
        if (d.templateId() == IDD_PORT_TYPES) ++coverage_.portTypesDialogs;
        if (d.templateId() == IDD_ABOUTBOX) ++coverage_.aboutBoxes;
        for (int n = 0; !d.ended(); ++n) {
            if (n >= kStepsPerDialog || steps_ >= kStepsPerWalk) {
                leave(d);
                return;
            }
            step(d);
            ++steps_;
            ++coverage_.steps;
            checkState(d);
        }
    }

    // Esc, and the close box should Esc not end the dialog.
    void leave(FakeDialog& d) {
        act(d, "Esc (enough steps)", false, [&] { d.pressEsc(); });
        if (!d.ended()) act(d, "close box (enough steps)", false, [&] { d.closeBox(); });
        if (!d.ended()) ADD_FAILURE() << "neither Esc nor the close box ends dialog " << d.templateId();
    }

    void act(FakeDialog& d, std::string what, bool install, const std::function<void()>& action) {
        actions_.push_back({d.templateId(), std::move(what), install});
        action();
        actions_.pop_back();
    }

    struct Choice {
        std::string what;
        std::function<void()> run;
        bool install = false;  // a command 1022 reaching the port page
    };

    void step(FakeDialog& d) {
        std::vector<Choice> choices;
        std::vector<int> hidden;
        const int tid = d.templateId();
        for (const RcControl& c : d.dialogTemplate().controls) {
            const int id = c.id;
            if (id == -1) continue;
            if (IsButton(c.kind)) {
                if (!d.isVisible(id)) {
                    hidden.push_back(id);
                } else if (d.isEnabled(id)) {
                    choices.push_back({"click " + std::to_string(id),
                                       [this, &d, id] {
                                           beforeClick(d, id);
                                           d.click(id);
                                       },
                                       tid == IDD_PORT && id == IDC_PORT_INSTALL});
                }
            } else if (c.kind == ControlKind::ComboBox && d.isVisible(id) && d.isEnabled(id) && d.comboCount(id) > 0) {
                const int row = rng_.below(d.comboCount(id));
                choices.push_back({"combo " + std::to_string(id) + " row " + std::to_string(row),
                                   [&d, id, row] { d.selectComboRow(id, row); }});
            } else if (c.kind == ControlKind::ListView && d.isVisible(id) && d.isEnabled(id)) {
                const int row = rng_.below(d.listRowCount(id) + 1) - 1;
                choices.push_back({"list " + std::to_string(id) + " row " + std::to_string(row),
                                   [&d, id, row] { d.clickListRow(id, row); }});
            }
            if (d.isVisible(id) && d.isEnabled(id) && rng_.chance(15))
                choices.push_back({"focus " + std::to_string(id), [&d, id] { d.setFocus(id); }});
        }
        const bool enterInstalls = tid == IDD_PORT && d.focus() == IDC_PORT_INSTALL;
        choices.push_back({"Enter", [&d] { d.pressEnter(); }, enterInstalls});
        choices.push_back({"Esc", [&d] { d.pressEsc(); }});
        choices.push_back({"close box", [&d] { d.closeBox(); }});
        if (tid == IDD_PRINTER_SETTINGS) choices.push_back({"About", [&d] { d.systemMenuCommand(IDM_ABOUTBOX); }});
        if (rng_.chance(10)) choices.push_back({"Move", [&d] { d.systemMenuCommand(SysCommandMove); }});
        if (!hidden.empty() && rng_.chance(15)) {
            const int id = rng_.pick(hidden);
            choices.push_back(
                {"command of hidden " + std::to_string(id), [&d, id] { d.sendCommand(id, ButtonClicked); }});
        }

        // A stubborn user thinks again, up to stubbornness_ times, before
        // going back or leaving the wizard, so that walks also reach the
        // pages deep in the wizard.
        const Choice* choice = &choices[static_cast<std::size_t>(rng_.below(static_cast<int>(choices.size())))];
        for (int again = 0; again < stubbornness_ && retreats(d, *choice); ++again)
            choice = &choices[static_cast<std::size_t>(rng_.below(static_cast<int>(choices.size())))];
        runChoice(d, *choice);
    }

    // Going back, cancelling, or ending the wizard without installing.
    static bool retreats(const FakeDialog& d, const Choice& choice) {
        if (choice.what == "Esc" || choice.what == "close box") return true;
        if (choice.what == "Enter") return !choice.install;
        static const std::map<int, std::vector<int>> kRetreatButtons = {
            {IDD_LANGUAGE, {IDC_LANG_CANCEL}},
            {IDD_SYSTEM, {IDC_SYS_EXIT}},
            {IDD_PRINTER_SETTINGS, {IDC_SET_BACK, IDC_SET_EXIT}},
            {IDD_PORT, {IDC_PORT_BACK, IDC_PORT_CANCEL}},
            {IDD_PORT_TYPES, {IDC_TYPES_EXIT}},
        };
        const auto buttons = kRetreatButtons.find(d.templateId());
        if (buttons == kRetreatButtons.end()) return false;
        for (int id : buttons->second)
            if (choice.what == "click " + std::to_string(id)) return true;
        return false;
    }

    void runChoice(FakeDialog& d, const Choice& choice) {
        const int tid = d.templateId();
        const bool next = tid == IDD_PRINTER_SETTINGS && (choice.what == "click " + std::to_string(IDC_SET_NEXT) ||
                                                          (choice.what == "Enter" && d.focus() == IDC_SET_NEXT));
        const std::size_t callsBefore = machine_.calls().size();
        const std::size_t messagesBefore = d.messages().size();
        act(d, choice.what, choice.install, choice.run);
        if (tid == IDD_PORT && choice.install && !d.ended()) ++coverage_.refusedInstalls;
        if (next) {
            checkNext(d, callsBefore, messagesBefore);
        } else if (tid == IDD_PRINTER_SETTINGS) {
            EXPECT_EQ(d.messages().size(), messagesBefore) << "a message on the settings page after " << choice.what;
        }
    }

    // New Port: the monitor's dialog creates a port, is cancelled, or fails.
    void beforeClick(FakeDialog& d, int id) {
        if (d.templateId() != IDD_PORT_TYPES || id != IDC_TYPES_NEW) return;
        switch (rng_.below(4)) {
            case 0: {
                const std::vector<std::string> names = {"USB010",   "COM5:",       "LPT1:", "IP_10.0.0.7", "COM", "USB",
                                                        "网络端口", "Serial Port", "",      "FILE:"};
                const std::string name = rng_.pick(names);
                machine_.addPortCreates(name, name.rfind("IP_", 0) == 0 ? "Standard TCP/IP Port" : "Local Port");
                break;
            }
            case 1:
                machine_.addPortAnswers(winerr::Cancelled);
                break;
            case 2:
                machine_.addPortAnswers(winerr::InvalidParameter);
                break;
            default:
                break;  // nothing queued: the user closes the monitor's dialog
        }
    }

    // Next on the settings page: at most one installation ran, in the port
    // page's Install, and the page reports on it once.
    void checkNext(FakeDialog& d, std::size_t callsBefore, std::size_t messagesBefore) {
        const auto passes = walk::FindPasses(machine_.calls(), callsBefore);
        std::vector<MessageBoxRecord> shown(d.messages().begin() + static_cast<std::ptrdiff_t>(messagesBefore),
                                            d.messages().end());
        const PortPage* portPage = settings_.portPage;
        ASSERT_NE(portPage, nullptr) << "Next records the port page";
        ASSERT_LE(passes.size(), 1u);
        if (!portPage->outcome()) {
            EXPECT_TRUE(passes.empty()) << "an installation the port page does not know of";
            EXPECT_TRUE(shown.empty()) << "a report without an installation: " << shown.front().text;
            return;
        }
        ++coverage_.installs;
        EXPECT_TRUE(d.ended()) << "an installation ends the wizard";
        EXPECT_EQ(settings_.selectedPort, portPage->chosenPort());
        if (passes.empty()) {  // refused before the driver directory: a choice out of range
            EXPECT_FALSE(portPage->outcome()->report.succeeded());
            ASSERT_EQ(shown.size(), 1u);
            return;
        }
        const walk::Pass& pass = passes.front();
        if (!pass.failures.empty()) ++coverage_.failedInstalls;
        walk::ExpectPassDependencies(machine_.calls(), pass);
        const auto printer = machine_.findPrinter(d.comboText(IDC_SET_MODEL, d.comboSelection(IDC_SET_MODEL)));
        walk::ExpectReport(pass, shown, settings_.englishFlag, settings_.osCode, printer ? printer->portName : "");
        int registryErrors = 0;
        for (const auto& m : host_.lastDialog(IDD_PORT).messages())
            if (m.text == "错误：无法设置有关的注册表信息") ++registryErrors;
        EXPECT_EQ(registryErrors, pass.registryErrors);
    }

    void checkState(const FakeDialog& d) {
        EXPECT_TRUE(settings_.englishFlag == 0 || settings_.englishFlag == 1) << settings_.englishFlag;
        EXPECT_TRUE(settings_.osCode >= 0 && settings_.osCode <= 9) << settings_.osCode;
        if (d.templateId() == IDD_PRINTER_SETTINGS && !d.ended()) {
            EXPECT_NE(settings_.settingsPage, nullptr);
        }
        if (d.templateId() == IDD_PORT && !d.ended()) {
            EXPECT_NE(settings_.portPage, nullptr);
        }
    }

    void checkEnd() {
        EXPECT_EQ(host_.problems(), "");
        EXPECT_EQ(settings_.settingsPage, nullptr);
        EXPECT_EQ(settings_.portPage, nullptr);
        EXPECT_TRUE(violations_.empty()) << testing::PrintToString(violations_);
        walk::ExpectMachineClean(machine_, seededPrinters_);
        EXPECT_TRUE(machine_.heldMutexes().empty()) << "an installation kept the mutex";
        for (const auto& pass : walk::FindPasses(machine_.calls()))
            walk::ExpectPassDependencies(machine_.calls(), pass);
        for (const char* op : kFailableOps)
            EXPECT_LT(machine_.callsOf(op).size(), static_cast<std::size_t>(kRunawayCalls))
                << op << " is called again and again: a failure that never ends its loop";
    }

    Random rng_;
    Coverage& coverage_;
    FakePlatform machine_;
    FakeDialogHost host_;
    InstallSettings settings_;
    std::size_t seededPrinters_ = 0;
    std::vector<Action> actions_;
    std::vector<std::string> violations_;
    int steps_ = 0;
    int stubbornness_ = 0;
};

TEST(RandomWalkTest, EveryPageKeepsTheWizardAndTheMachineSound) {
    const auto started = std::chrono::steady_clock::now();
    Coverage total;
    for (const std::uint32_t seed : kSeeds) {
        for (int walk = 0; walk < kWalksPerSeed; ++walk) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " walk " << walk);
            RandomWalk(seed, walk, total).run();
            if (testing::Test::HasFatalFailure()) return;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "random walk: %d walks, %ld steps, %d installations (%d failed), %d refused, %d port types dialogs, "
        "%d About boxes, %d launcher commands, %d machines with a fault, %.2f s\n",
        total.walks, total.steps, total.installs, total.failedInstalls, total.refusedInstalls, total.portTypesDialogs,
        total.aboutBoxes, total.launches, total.faults, seconds);
    // The walk must reach every corner, not stop at the first page.
    EXPECT_GE(total.steps, 5000);
    EXPECT_GE(total.installs, 50);
    EXPECT_GE(total.failedInstalls, 5);
    EXPECT_GE(total.refusedInstalls, 5);
    EXPECT_GE(total.portTypesDialogs, 20);
    EXPECT_GE(total.aboutBoxes, 20);
    EXPECT_GE(total.launches, 5);
}

}  // namespace
}  // namespace kelp
