#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

#include "install/LogText.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"

namespace kelp {

namespace {

struct Switch {
    std::string name;  // lower case, without the leading '/' or '-'
    std::optional<std::string> value;
};

std::optional<Switch> SplitSwitch(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    const std::size_t separator = argument.find_first_of(":=", 1);
    Switch result;
    result.name = Lower(argument.substr(1, separator == std::string::npos ? std::string::npos : separator - 1));
    if (separator != std::string::npos) result.value = argument.substr(separator + 1);
    return result;
}

struct SwitchRule {
    const char* name;
    bool takesValue;
    // The actions that accept it (bit per CliAction).
    unsigned actions;
};

constexpr unsigned Bit(CliAction action) { return 1u << static_cast<unsigned>(action); }
constexpr unsigned kInstall = Bit(CliAction::Install);
constexpr unsigned kChanging = Bit(CliAction::Install) | Bit(CliAction::Uninstall) | Bit(CliAction::TestPrint);

constexpr SwitchRule kOptions[] = {
    {"model", true, kChanging},
    {"lang", true, kInstall},
    {"port", true, kInstall},
    {"default", false, kInstall},
    {"log", true, kChanging | Bit(CliAction::List) | Bit(CliAction::Find)},
    {"quiet", false, kChanging},
    {"wait", true, Bit(CliAction::TestPrint)},
    {"host", true, kInstall},
    {"force", false, kInstall | Bit(CliAction::TestPrint)},
    {"drawer", false, Bit(CliAction::TestPrint)},  // its value is optional: DrawerPinOf
};

// /drawer's pin: 2 when not given.
std::optional<DrawerPin> DrawerPinOf(const std::optional<std::string>& value) {
    if (!value || *value == "2") return DrawerPin::Pin2;
    if (*value == "5") return DrawerPin::Pin5;
    return std::nullopt;
}

constexpr unsigned kMaxWaitSeconds = 3600;

struct ActionName {
    const char* name;
    CliAction action;
};
constexpr ActionName kActions[] = {
    {"?", CliAction::Usage},
    {"install", CliAction::Install},
    {"uninstall", CliAction::Uninstall},
    {"testprint", CliAction::TestPrint},
    {"list", CliAction::List},
    {"find", CliAction::Find},
};

const char* ActionText(CliAction action) {
    for (const auto& entry : kActions) {
        if (entry.action == action) return entry.name;
    }
    return "?";
}

// What is wrong with a /log path, if anything. It names its drive or server:
// a deployment tool's current directory is anybody's guess (a startup
// script's is System32). A double quote cannot be in a file name; it is
// what is left of a quoted value that ended in a backslash ("C:\Logs\"
// /quiet arrives as one argument). A device (\\.\pipe\..., NUL.log) would
// take the lines somewhere else, and only a .log or .txt file is written, so
// that no run, SYSTEM's least of all, makes a file anybody would run.
enum class LogPathFault { None, NotFull, Device, BadName, Extension };

LogPathFault CheckLogPath(const std::string& path) {
    const auto slash = [&](std::size_t i) { return path.size() > i && (path[i] == '\\' || path[i] == '/'); };
    if (slash(0) && slash(1) && path.size() > 2 && (path[2] == '.' || path[2] == '?') && (path.size() == 3 || slash(3)))
        return LogPathFault::Device;
    if (slash(0) && path.size() > 3 && path[1] == '?' && path[2] == '?' && slash(3)) return LogPathFault::Device;
    const bool drive = path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && slash(2);
    if (!(drive || (slash(0) && slash(1))) || path.find('"') != std::string::npos) return LogPathFault::NotFull;
    // No wildcard, no stream name after a second colon, no control character.
    for (std::size_t i = 2; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || c == ':' || c == '*' || c == '?' || c == '<' || c == '>' || c == '|') return LogPathFault::BadName;
    }
    // The file's name up to its first dot, blanks at its end dropped, is
    // what Windows compares with its device names.
    const std::size_t start = path.find_last_of("\\/") + 1;
    std::string stem = Lower(path.substr(start, path.find('.', start) - start));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    const bool numbered = stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
                          stem[3] >= '1' && stem[3] <= '9';
    if (std::find(std::begin(kDevices), std::end(kDevices), stem) != std::end(kDevices) || numbered) return LogPathFault::Device;
    const std::string lower = Lower(path);
    const auto endsWith = [&](const char* suffix) {
        const std::size_t n = std::char_traits<char>::length(suffix);
        return lower.size() > n && lower.compare(lower.size() - n, n, suffix) == 0;
    };
    if (!endsWith(".log") && !endsWith(".txt")) return LogPathFault::Extension;
    return LogPathFault::None;
}

// The parse so far, refused: moved out, the parse being ended with it.
CliParse Refuse(CliParse& parse, CliProblem problem, std::string subject = {}, std::string other = {}) {
    parse.command.reset();
    parse.refusal = {problem, std::move(subject), std::move(other)};
    return std::move(parse);
}

// "<first>-<last>", IPv4 addresses, the first not after the last, at most
// MaxScanAddresses of them; why not otherwise.
std::optional<Ipv4Range> FindRange(const std::string& value, CliProblem& problem) {
    const std::size_t dash = value.find('-');
    const auto first = dash == std::string::npos ? std::nullopt : ParseIpv4(value.substr(0, dash));
    const auto last = dash == std::string::npos ? std::nullopt : ParseIpv4(value.substr(dash + 1));
    if (!first || !last) {
        problem = CliProblem::FindNotRange;
        return std::nullopt;
    }
    const Ipv4Range range{*first, *last};
    if (range.first > range.last) {
        problem = CliProblem::FindBackwards;
    } else if (RangeHasReservedAddress(range)) {
        problem = CliProblem::FindReserved;
    } else if (range.last - range.first >= MaxScanAddresses) {
        problem = CliProblem::FindTooMany;
    } else {
        return range;
    }
    return std::nullopt;
}

}  // namespace

CliParse ParseCommandLine(const std::vector<std::string>& arguments) {
    CliParse parse;
    // First the switches that say how to report, so a wrong line is still
    // reported as asked.
    for (const auto& argument : arguments) {
        const auto item = SplitSwitch(argument);
        if (!item) continue;
        if (item->name == "quiet") parse.quiet = true;
        if (item->name == "log" && item->value && CheckLogPath(*item->value) == LogPathFault::None)
            parse.logPath = *item->value;
        if (item->name == "lang" && item->value) {
            const std::string lang = Lower(*item->value);
            if (lang == "en") parse.language = Language::English;
            if (lang == "zh") parse.language = Language::Chinese;
        }
    }

    std::optional<CliAction> action;
    std::optional<std::string> findValue;
    std::vector<Switch> options;
    std::vector<std::string> seen;
    for (const auto& argument : arguments) {
        const auto item = SplitSwitch(argument);
        if (!item) return Refuse(parse, CliProblem::UnexpectedArgument, argument);
        if (std::find(seen.begin(), seen.end(), item->name) != seen.end()) return Refuse(parse, CliProblem::SwitchTwice, item->name);
        seen.push_back(item->name);
        bool isAction = false;
        for (const auto& entry : kActions) {
            if (item->name != entry.name) continue;
            if (item->value && entry.action != CliAction::Find)
                return Refuse(parse, CliProblem::TakesNoValue, item->name);
            if (action) return Refuse(parse, CliProblem::MoreThanOneAction);
            action = entry.action;
            findValue = item->value;
            isAction = true;
        }
        if (!isAction) options.push_back(*item);
    }
    if (action == CliAction::Usage) {
        // "/? /quiet" must not show a box, nor "/? /bogus" end with 0.
        if (!options.empty()) return Refuse(parse, CliProblem::UsageAlone);
        CliCommand usage;
        parse.command = usage;
        return parse;
    }
    if (!action)
        return Refuse(parse, CliProblem::NoAction);

    CliCommand command;
    command.action = *action;
    if (findValue) {
        CliProblem problem = CliProblem::FindNotRange;
        command.findRange = FindRange(*findValue, problem);
        if (!command.findRange) return Refuse(parse, problem);
    }
    const unsigned bit = Bit(*action);
    for (const auto& option : options) {
        const SwitchRule* rule = nullptr;
        for (const auto& entry : kOptions) {
            if (option.name == entry.name) rule = &entry;
        }
        if (!rule) return Refuse(parse, CliProblem::UnknownSwitch, option.name);
        if (!(rule->actions & bit))
            return Refuse(parse, CliProblem::DoesNotGoWith, option.name, ActionText(*action));
        if (rule->takesValue && (!option.value || option.value->empty()))
            return Refuse(parse, CliProblem::NeedsValue, option.name);
        if (option.name == "drawer") {
            command.drawer = DrawerPinOf(option.value);
            if (!command.drawer) return Refuse(parse, CliProblem::DrawerPin);
            continue;
        }
        if (!rule->takesValue && option.value)
            return Refuse(parse, CliProblem::TakesNoValue, option.name);

        const std::string& value = option.value ? *option.value : std::string();
        if (option.name == "model") {
            const auto rows = ModelCatalogue::rows();
            for (std::size_t row = 0; row < rows.size(); ++row) {
                if (Lower(rows[row].displayName) == Lower(value)) command.modelRow = static_cast<int>(row);
            }
            if (command.modelRow < 0) return Refuse(parse, CliProblem::UnknownModel, value);
        } else if (option.name == "lang") {
            if (!parse.language) return Refuse(parse, CliProblem::LangValue);
        } else if (option.name == "port") {
            if (Lower(value) != "auto") command.port = value;
        } else if (option.name == "default") {
            command.defaultPrinter = true;
        } else if (option.name == "log") {
            switch (CheckLogPath(value)) {
                case LogPathFault::None: break;
                case LogPathFault::NotFull:
                    return Refuse(parse, CliProblem::LogNotFull);
                case LogPathFault::Device:
                    return Refuse(parse, CliProblem::LogDevice);
                case LogPathFault::BadName:
                    return Refuse(parse, CliProblem::LogBadName);
                case LogPathFault::Extension:
                    return Refuse(parse, CliProblem::LogExtension);
            }
        } else if (option.name == "force") {
            command.force = true;
        } else if (option.name == "wait") {
            // Whole seconds, digits only: no sign, no blank, no unit.
            unsigned long seconds = 0;
            for (char c : value) {
                if (c < '0' || c > '9' || seconds > kMaxWaitSeconds) {
                    seconds = kMaxWaitSeconds + 1;
                    break;
                }
                seconds = seconds * 10 + static_cast<unsigned long>(c - '0');
            }
            if (seconds > kMaxWaitSeconds)
                return Refuse(parse, CliProblem::WaitRange);
            command.waitSeconds = static_cast<unsigned>(seconds);
        } else if (option.name == "host") {
            const AddressParse address = ParseNetworkAddress(value);
            if (!address.ok()) {
                parse = Refuse(parse, CliProblem::Host);
                parse.refusal.address = address.problem;
                return parse;
            }
            command.host = address.address;
        }
    }
    if (command.host && command.port)
        return Refuse(parse, CliProblem::HostAndPort);
    if (command.drawer && command.waitSeconds == 0) return Refuse(parse, CliProblem::DrawerNeedsWait);
    if ((bit & kChanging) && command.modelRow < 0) return Refuse(parse, CliProblem::ModelMissing);
    parse.command = command;
    return parse;
}

}  // namespace kelp
