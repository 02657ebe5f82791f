// One installation through the wizard's pages, and the checks of what it
// left on the machine: the printer, the driver, the staged files and the
// default printer. Shared by the installation and port scenarios.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Flows.h"

namespace e2e {

// A printer model as the wizard's catalogue has it: the name of driver and
// printer, and the base names of its library and description file in the
// Chinese and the English edition.
struct Model {
    std::string name;
    std::string libraryChinese;
    std::string descriptionChinese;
    std::string libraryEnglish;
    std::string descriptionEnglish;

    // "RK520PCN.DLL" / "RK520P.DLL" and the ".GPD" file, by language row.
    std::string library(int languageRow) const;
    std::string description(int languageRow) const;
};
const std::vector<Model>& models();

// The six files every model shares.
const std::vector<std::string>& commonFiles();

// What the wizard's 32-bit and 64-bit profiles use.
struct Profile {
    std::wstring environment;  // spooler environment
    std::string commonFolder;  // folder of the common files in the package
};
Profile profileFor(const Scenario& scenario);

// Messages of the wizard. After a success the second line names the port
// the printer is on and, for the automatic choice, why it is that one.
enum class PortWhy { Chosen, FirstUsb, FirstSerial, Connected };
std::string completionMessage(int languageRow, const std::string& port, PortWhy why = PortWhy::Chosen);
// A printer that was there already keeps its port.
std::string existingPrinterMessage(int languageRow, const std::string& printer, const std::string& port);
std::string failurePrefix(int languageRow);

// Puts the machine back to a state without any of the wizard's printers,
// drivers, staged files or default printer, with the current user's
// Windows key in place and the port USB001 known to the spooler. Adds a
// failure and answers false when that does not work.
bool resetMachine();

struct InstallRun {
    int languageRow = kEnglish;
    int modelRow = 0;
    bool defaultPrinter = false;
    // Empty: the automatic choice (the USB row as the page opens). Else the
    // port whose row is chosen after Search Port.
    std::string port;
    // Prefix of the screenshot names; empty: no screenshots.
    std::string shots;
    // When set, the description Search Port shows for that port.
    std::string portDescription;
    // When set, the row of the port list that shows port.
    int portRow = -1;
};

struct InstallOutcome {
    bool finished = false;  // the message came and the wizard ended
    std::string message;
};

// Starts Kelp.exe, walks to the port page, installs as the run says, reads
// and closes the message that follows, and waits for the wizard to end.
InstallOutcome install(const InstallRun& run);

// The checks, each adding failures under the caller's trace.
// The spooler lists the printer named after the model, with its driver, on the port.
void expectPrinter(const Model& model, const std::string& port);
// The driver is registered for the profile's environment with the files of
// the language's edition.
void expectDriver(const Model& model, int languageRow, const Profile& profile);
// The driver directory of the profile holds the model's eight files, each a
// copy of the package's file (the model's two from the x86 folder, the
// common ones from the profile's folder), in the language's edition; the
// other edition's files of the model are not there.
void expectStagedFiles(const Model& model, int languageRow, const Profile& profile);
// All three: the printer on the port, its driver, and the staged files.
void expectInstalled(const Model& model, const std::string& port, int languageRow, const Profile& profile);

// The test receipt of model on port as the printer gets it, in the
// language's edition (GBK in Chinese): its head, the time
// "YYYY-MM-DD hh:mm:ss", its tail and a NUL. Waits until received() holds
// that many bytes: a printer may still be taking it in.
void expectTestReceipt(const std::function<std::string()>& received, const std::string& model, const std::string& port,
                       int languageRow);

// HKCU ...\Windows "Device"; nullopt when the value (or key) is missing.
std::optional<std::string> defaultPrinterValue();
// HKCU ...\Windows "LegacyDefaultPrinterMode" (REG_DWORD); nullopt when
// missing or of another type.
std::optional<DWORD> legacyDefaultPrinterMode();

}  // namespace e2e
