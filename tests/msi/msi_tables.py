#!/usr/bin/env python3
"""msi_tables.py <Kelp-<version>.msi> <the same version built again> <the next version's MSI>:
reads built packages back with msiinfo and checks what Windows Installer
will run from the first. Exit code 1 on any difference, each one printed."""
import subprocess, sys

msi = sys.argv[1]
def msiinfo(*args): return subprocess.run(["msiinfo", *args], check=True, capture_output=True, text=True).stdout
# One row a line (a value may hold other control characters, which
# splitlines would take for line ends); the KelpControlNN properties,
# control characters themselves, are left out.
def table(name, path=msi):
    rows = [row.split("\t") for row in msiinfo("export", path, name).split("\n")[3:] if row]
    return [row for row in rows if not row[0].startswith("KelpControl")]

INSTALL = '/install "/model:[MODEL]" [KelpLangSwitch] [KelpPortSwitch] [KelpForceSwitch] /quiet [KelpLogSwitch]'
UNINSTALL = '/uninstall "/model:[MODEL]" /quiet [KelpLogSwitch]'
INSTALLING, REMOVING = 'NOT REMOVE~="ALL"', 'REMOVE~="ALL" AND MODEL AND NOT UPGRADINGPRODUCTCODE'
# action: type, source, target, condition, and the actions it must come after and before
ACTIONS = {
    "KelpModelFromStore": (2099, "MODEL", "[KelpStoredModel]", "Installed OR NOT MODEL", "AppSearch", "InstallInitialize"),
    "KelpLangFromStore": (2099, "LANG", "[KelpStoredLang]", "Installed OR NOT LANG", "AppSearch", "KelpLangSwitchSet"),
    # A repair takes the stored values; else a HOST or PORT given replaces
    # both stored ones, and HOST means no automatic port.
    "KelpHostFromStore": (2099, "HOST", "[KelpStoredHost]", "Installed OR (NOT HOST AND NOT PORT)", "AppSearch", "KelpPortFromStore"),
    "KelpPortFromStore": (2099, "PORT", "[KelpStoredPort]", "Installed OR (NOT PORT AND NOT HOST)", "AppSearch", "KelpPortAuto"),
    "KelpPortAuto": (2099, "PORT", "auto", "NOT PORT AND NOT HOST", "AppSearch", "KelpPortSwitchSet"),
    "KelpPortSwitchSet": (2099, "KelpPortSwitch", '"/port:[PORT]"', "NOT HOST", "AppSearch", "InstallInitialize"),
    "KelpHostSwitchSet": (2099, "KelpPortSwitch", '"/host:[HOST]"', "HOST", "KelpHostFromStore", "InstallInitialize"),
    "KelpLogFromStore": (2099, "KELPLOG", "[KelpStoredLog]", "Installed OR NOT KELPLOG", "AppSearch", "KelpLogSwitchSet"),
    "KelpLogSwitchSet": (2099, "KelpLogSwitch", '"/log:[KELPLOG]"', "KELPLOG", "AppSearch", "InstallInitialize"),
    "KelpLangSwitchSet": (2099, "KelpLangSwitch", "/lang:[LANG]", "LANG", "AppSearch", "InstallInitialize"),
    # FORCE=1, given or stored, is /force; no other value reaches Kelp.
    "KelpForceFromStore": (2099, "FORCE", "[KelpStoredForce]", "Installed OR NOT FORCE", "AppSearch", "KelpForceSwitchSet"),
    "KelpForceSwitchSet": (2099, "KelpForceSwitch", "/force", 'FORCE="1"', "KelpForceFromStore", "InstallInitialize"),
    # 3090: exe from an installed file, deferred, as LocalSystem, return code checked; 3410 its rollback.
    "KelpUninstallRollback": (3410, "KelpExe", INSTALL, REMOVING, "InstallInitialize", "KelpUninstall"),
    "KelpUninstall": (3090, "KelpExe", UNINSTALL, REMOVING, "InstallInitialize", "RemoveFiles"),
    "KelpInstallRollback": (3410, "KelpExe", UNINSTALL,
                            INSTALLING + " AND NOT Installed AND NOT KelpStoredModel AND NOT KelpPrinterBefore",
                            "WriteRegistryValues", "KelpInstall"),
    "KelpInstall": (3090, "KelpExe", INSTALL, INSTALLING, "WriteRegistryValues", "InstallFinalize"),
}
STORE = "Software\\Vexo\\Kelp\\{3CC0CA4C-4C2F-4915-9CA1-293021315493}"
version = dict(table("Property"))["ProductVersion"]
# table: the rows that must be there (None: any value; a regular expression for the ProductCode)
ROWS = {
    "Property": [["ALLUSERS", "1"], ["REBOOT", "ReallySuppress"], ["UpgradeCode", "{3CC0CA4C-4C2F-4915-9CA1-293021315493}"],
                 ["SecureCustomProperties", "WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED"], ["KelpQuote", '"']],
    "Upgrade": [["{3CC0CA4C-4C2F-4915-9CA1-293021315493}", "", version, "", "1", "", "WIX_UPGRADE_DETECTED"],
                ["{3CC0CA4C-4C2F-4915-9CA1-293021315493}", version, "", "", "2", "", "WIX_DOWNGRADE_DETECTED"]],
    "LaunchCondition": [["NOT WIX_DOWNGRADE_DETECTED", None], ['MODEL OR KelpStoredModel OR REMOVE~="ALL"', None],
                        ["NOT MODEL OR NOT KelpStoredModel OR MODEL~=KelpStoredModel", None],
                        ['NOT LANG OR LANG~="zh" OR LANG~="en"', None], ["NOT HOST OR NOT PORT", None],
                        ['NOT FORCE OR FORCE="1"', "FORCE must be 1 (install on a HOST whose name cannot be found now) or left out."]]
                       + [['NOT (%s >< KelpQuote OR %s >> "\\")' % (p, p), None] for p in ("MODEL", "LANG", "PORT", "HOST", "KELPLOG")]
                       + [["NOT (%s)" % " OR ".join("%s >< KelpControl%02X" % (p, c) for c in range(first, min(first + 8, 32))),
                           "%s must not hold a double quote or a control character, nor end in a backslash: "
                           "such a value would change Kelp's command line." % p]
                          for p in ("MODEL", "LANG", "PORT", "HOST", "KELPLOG") for first in range(1, 32, 8)],
    "AppSearch": [["KelpStored" + n, "Stored" + n] for n in ("Model", "Lang", "Port", "Log", "Host", "Force")]
                 + [["KelpPrinterBefore", "PrinterBefore"]],
    "RegLocator": [["Stored" + n, "2", STORE, n, "2"] for n in ("Model", "Lang", "Port", "Log", "Host", "Force")]
                  + [["PrinterBefore", "2", "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\[MODEL]", "Printer Driver", "2"]],
    "Registry": [[None, "2", STORE, n, "[%s]" % p, "Settings"]
                 for n, p in (("Model", "MODEL"), ("Lang", "LANG"), ("Port", "PORT"), ("Log", "KELPLOG"), ("Host", "HOST"),
                              ("Force", "FORCE"))],
    "File": [["KelpExe", None, "Kelp.exe", None, "", "", "512", None]],
    "Directory": [["INSTALLDIR", "KelpFolder", "DRIVER~1|Driver Package"], ["KelpFolder", "VendorFolder", "Kelp"],
                  ["VendorFolder", "ProgramFilesFolder", "Vexo"]],
}

problems = []
for name, rows in ROWS.items():
    have = table(name)
    for row in rows:
        if not any(len(h) == len(row) and all(w is None or w == v for w, v in zip(row, h)) for h in have):
            problems.append("%s: no row %s in\n  %s" % (name, row, "\n  ".join(map(str, have))))
actions = {row[0]: row[1:] for row in table("CustomAction")}
sequence = {row[0]: (row[1], int(row[2])) for row in table("InstallExecuteSequence")}
for action, (kind, source, target, condition, after, before) in ACTIONS.items():
    if actions.get(action, [None])[:3] != [str(kind), source, target]:
        problems.append("CustomAction %s: %s, not %s" % (action, actions.get(action), [kind, source, target]))
    where = sequence.get(action, ("(none)", -1))
    if where[0] != condition or not sequence[after][1] < where[1] < sequence[before][1]:
        problems.append("%s at %s, not between %s %s and %s %s, if %s"
                        % (action, where, after, sequence[after], before, sequence[before], condition))
# The control characters, U+0001 to U+001F; the SQL export writes CR and LF as \r and \n.
controls = msiinfo("export", "-s", msi, "Property")
for c in range(1, 32):
    if "('KelpControl%02X', '%s')" % (c, {10: "\\n", 13: "\\r"}.get(c, chr(c))) not in controls:
        problems.append("Property KelpControl%02X is not U+%04X" % (c, c))
components = {row[0]: row[2] for row in table("Component")}
kelp = [row for row in table("File") if row[0] == "KelpExe"]
if not kelp or components.get(kelp[0][1]) != "INSTALLDIR":
    problems.append("Kelp.exe is not at the root of the installed folder: %s" % kelp)
codes = [dict(table("Property", path)) for path in sys.argv[1:4]]
if not codes[0]["ProductCode"] == codes[1]["ProductCode"] != codes[2]["ProductCode"] or codes[2]["UpgradeCode"] != codes[0]["UpgradeCode"]:
    problems.append("ProductCode of one version built twice, and of the next: %s" % [c["ProductCode"] for c in codes])
for unwanted in ("ScheduleReboot", "ForceReboot"):
    if unwanted in sequence: problems.append("InstallExecuteSequence has " + unwanted)
if "Dialog" in msiinfo("tables", msi).split() or "Template: Intel;" not in msiinfo("suminfo", msi):
    problems.append("a Dialog table, or not a 32-bit package")
print("\n".join(problems) or "msi: %d custom actions, properties, upgrade, search and file rows as expected" % len(ACTIONS))
sys.exit(1 if problems else 0)
