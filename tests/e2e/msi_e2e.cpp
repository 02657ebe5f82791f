// The Windows Installer package under Wine's msiexec, as a deployment tool
// runs it: msiexec is started with its command line, this program waits for
// it and reads its whole exit code with GetExitCodeProcess. C:\msi holds two
// packages of the sample driver package, the build's version (KELP_E2E_MSI)
// and a higher one (KELP_E2E_MSI_NEXT). A 32-bit prefix with the port USB001.

#include <windows.h>
#include <msi.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::wstring kFolder = L"C:\\Program Files\\Vexo\\Kelp\\Driver Package\\";
const std::wstring kStore = L"Software\\Vexo\\Kelp\\{3CC0CA4C-4C2F-4915-9CA1-293021315493}";
const std::wstring kGivenLog = L"C:\\Kelp-msi.log";
const std::wstring kMsiexecLog = L"C:\\msiexec.log";

// Without KELPLOG, Kelp.exe keeps its log in its temporary folder: Wine has
// no GetTempPath2W, so the one GetTempPathW names.
std::wstring defaultKelpLog() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp, length) + L"Kelp.log";
}
const std::wstring kKelpLog = defaultKelpLog();

std::wstring package(const char* variable) {
    const char* name = std::getenv(variable);
    return L"C:\\msi\\" + widen(name ? name : "");
}

// msiexec's exit code, or -1 when it did not start or end in time.
long long msiexec(const std::wstring& arguments) {
    removeFile(kMsiexecLog);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return waitForExit(startProgram(std::wstring(system) + L"\\msiexec.exe", arguments + L" /qn /l*v " + kMsiexecLog),
                       6 * kWait);
}

// MsiInstallProductW in this process, without UI: what msiexec cannot do
// under Wine (no /fa for a repair), and properties exactly as Windows
// Installer parses them (a doubled quote inside a quoted value is a quote).
UINT installProduct(const std::wstring& msi, const std::wstring& properties) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE, kMsiexecLog.c_str(), 0);
    return MsiInstallProductW(msi.c_str(), properties.c_str());
}

class Msi : public ::testing::Test {
protected:
    const Model& model = models()[2];  // RK-730P
    const Profile profile = profileFor(Scenario::current());

    void SetUp() override {
        if (Scenario::current().win64()) GTEST_SKIP() << "needs a 32-bit prefix";
        ASSERT_TRUE(resetMachine());
        removeFile(kKelpLog);
        removeFile(kGivenLog);
    }
    std::string logs() const {
        return "Kelp's log:\n" + readFile(kKelpLog) + readFile(kGivenLog) + "\nmsiexec's log:\n" + readFile(kMsiexecLog);
    }
    bool printerThere(const char* name) const {
        const auto printers = spoolerPrinters();
        return printers && findPrinter(*printers, name);
    }
};

}  // namespace

// Each refused run ends with an error and leaves nothing: no file, no
// stored settings, no printer. A launch condition ends it with 1603; Kelp's
// own refusal (a port that does not exist: 87) fails its custom action,
// which Wine's msiexec answers with 1627 (Windows: 1603).
TEST_F(Msi, RefusedInstallationsLeaveNothing) {
    const std::pair<const wchar_t*, long long> runs[] = {
        {L"", 1603}, {L"LANG=en", 1603}, {L"MODEL=RK-730P LANG=fr", 1603}, {L"MODEL=RK-730P PORT=NOPORT9", 1627}};
    for (const auto& [properties, code] : runs) {
        SCOPED_TRACE(utf8(properties));
        EXPECT_EQ(code, msiexec(L"/i " + package("KELP_E2E_MSI") + L" " + properties)) << logs();
        EXPECT_FALSE(fileExists(kFolder + L"Kelp.exe"));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kStore));
        EXPECT_FALSE(printerThere("RK-730P"));
    }
    // A value that would change Kelp's command line: a quote in PORT (it
    // would add /default), a control character, a log ending in a backslash
    // (it would swallow the next argument). Only a launch condition can
    // refuse these: MODEL is given, LANG is not.
    for (const wchar_t* properties : {L"MODEL=RK-730P PORT=\"USB001\"\" \"\"/default\"", L"MODEL=RK-730P PORT=\"USB\t001\"",
                                      L"MODEL=RK-730P KELPLOG=C:\\Logs\\"}) {
        SCOPED_TRACE(utf8(properties));
        EXPECT_EQ(1603u, installProduct(package("KELP_E2E_MSI"), properties)) << logs();
        EXPECT_FALSE(fileExists(kFolder + L"Kelp.exe"));
        EXPECT_FALSE(printerThere("RK-730P"));
    }
}

// Installation, a major upgrade that keeps the printer with the stored
// model, the refusals over it (an older version, another model), removal.
TEST_F(Msi, InstallUpgradeAndRemove) {
    ASSERT_EQ(0, msiexec(L"/i " + package("KELP_E2E_MSI") + L" MODEL=RK-730P LANG=en")) << logs();
    EXPECT_TRUE(fileExists(kFolder + L"Kelp.exe"));
    EXPECT_TRUE(fileExists(kFolder + L"Printer Driver\\x86\\RK730PNEWCN.GPD"));
    expectInstalled(model, "USB001", kEnglish, profile);
    for (const char* step : {"step AddPrinterDriver \"RK-730P\"", "step AddPrinter \"RK-730P\" on port \"USB001\"", "outcome 0"})
        EXPECT_NE(std::string::npos, readFile(kKelpLog).find(step)) << step << "\n" << logs();
    EXPECT_EQ("RK-730P", readRegistryText(HKEY_LOCAL_MACHINE, kStore, L"Model").value_or("(none)"));
    EXPECT_EQ("auto", readRegistryText(HKEY_LOCAL_MACHINE, kStore, L"Port").value_or("(none)"));

    // The upgrade names a log of its own; the removal uses the stored one.
    removeFile(kKelpLog);
    ASSERT_EQ(0, msiexec(L"/i " + package("KELP_E2E_MSI_NEXT") + L" KELPLOG=" + kGivenLog)) << logs();
    expectInstalled(model, "USB001", kEnglish, profile);
    EXPECT_NE(std::string::npos, readFile(kGivenLog).find("outcome 0")) << logs();

    // A repair runs with the stored values, not with those it is given: the
    // log it names is not made (Kelp would refuse a .cmd anyway).
    removeFile(kGivenLog);
    EXPECT_EQ(0u, installProduct(package("KELP_E2E_MSI_NEXT"),
                                 L"REINSTALL=ALL REINSTALLMODE=omus KELPLOG=C:\\kelp-repair.cmd PORT=LPT1:")) << logs();
    EXPECT_FALSE(fileExists(L"C:\\kelp-repair.cmd"));
    EXPECT_NE(std::string::npos, readFile(kGivenLog).find("outcome 0")) << logs();
    expectInstalled(model, "USB001", kEnglish, profile);

    EXPECT_EQ(1603, msiexec(L"/i " + package("KELP_E2E_MSI") + L" MODEL=RK-730P")) << logs();
    EXPECT_EQ(1603, msiexec(L"/i " + package("KELP_E2E_MSI_NEXT") + L" MODEL=RK-520P")) << logs();
    EXPECT_FALSE(printerThere("RK-520P"));
    EXPECT_TRUE(printerThere("RK-730P"));

    removeFile(kGivenLog);
    ASSERT_EQ(0, msiexec(L"/x " + package("KELP_E2E_MSI_NEXT"))) << logs();
    EXPECT_FALSE(printerThere("RK-730P"));
    EXPECT_EQ(nullptr, findDriver(spoolerDrivers(profile.environment).value(), "RK-730P"));
    EXPECT_FALSE(fileExists(kFolder + L"Kelp.exe"));
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kStore));
    EXPECT_NE(std::string::npos, readFile(kGivenLog).find("outcome 0")) << logs();
}
