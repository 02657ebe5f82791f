// The command line of an unattended run:
//
//   Kelp.exe /?
//   Kelp.exe /install   /model:<model> [/lang:zh|en] [/port:auto|<port>] [/default] [/log:<file>] [/quiet]
//   Kelp.exe /install   /model:<model> /host:<address>[:<tcp port>] [/lang:zh|en] [/default] [/force] [/log:<file>] [/quiet]
//   Kelp.exe /uninstall /model:<model> [/log:<file>] [/quiet]
//   Kelp.exe /testprint /model:<model> [/wait:<seconds>] [/force] [/drawer[:2|:5]] [/log:<file>] [/quiet]
//   Kelp.exe /list      [/log:<file>]
//   Kelp.exe /find[:<first address>-<last address>] [/log:<file>]
//
// Switches are case-insensitive, start with '/' or '-', and take a value
// after ':' or '='. The arguments arrive split as CommandLineToArgvW splits
// them, quotes already removed. Parsing looks at nothing but the arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "install/NetworkPrinter.h"
#include "install/Wording.h"

namespace kelp {

enum class CliAction { Usage, Install, Uninstall, TestPrint, List, Find };

struct CliCommand {
    CliAction action = CliAction::Usage;
    int modelRow = -1;                 // the catalogue row of /model
    std::optional<std::string> port;   // /port:<name>; nothing for auto
    bool defaultPrinter = false;
    // /force: /install goes on with a host name that does not resolve now;
    // /testprint sends to a printer that never answers a status request.
    bool force = false;
    unsigned waitSeconds = 30;         // /wait: how long a test receipt is followed; 0 not at all
    std::optional<NetworkAddress> host;    // /host: the network printer's address
    std::optional<Ipv4Range> findRange;    // /find:<first>-<last>; nothing: the adapters' networks
    std::optional<DrawerPin> drawer;       // /drawer[:2|:5]: kick the cash drawer after a printed receipt
};

struct CliParse {
    std::optional<CliCommand> command;  // nothing: the command line is wrong
    CliRefusal refusal;                 // why (DescribeCliRefusal words it)
    // How the run reports (/quiet, /log, /lang), read even when the line is
    // wrong, so that the refusal is logged and shown as asked.
    bool quiet = false;
    std::string logPath;               // empty: the default log
    std::optional<Language> language;  // nothing when not given
};

CliParse ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace kelp
