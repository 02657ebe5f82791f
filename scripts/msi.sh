#!/usr/bin/env bash
# msi.sh <driver package folder> <output folder> [version]
#
# Builds <output folder>/Kelp-<version>.msi, a per-machine, 32-bit Windows
# Installer package of the driver package (Kelp.exe at its root) for Group
# Policy, Intune and Configuration Manager. The version defaults to the
# project version of CMakeLists.txt.
#
# What the package does:
#   - installs the package's files under
#     [ProgramFilesFolder]<vendor>\Kelp\Driver Package\ (short names made for
#     the long ones);
#   - without KELPLOG, leaves the log to Kelp.exe, which writes it in the
#     system's temporary folder that standard users cannot write (for
#     LocalSystem C:\Windows\SystemTemp where Windows has it);
#   - keeps MODEL, LANG, PORT, HOST, FORCE and KELPLOG under HKLM\Software\<vendor>\Kelp\
#     <UpgradeCode> and reads them back (AppSearch): a repair and a removal
#     run with the values of the installation whatever their command line
#     says, an upgrade with those it is given, else the stored ones. HOST (a
#     network printer's address, passed as /host:) takes the place of PORT,
#     and a PORT or HOST given replaces both stored ones. FORCE=1 passes
#     /force: a HOST whose name cannot be found now is installed all the
#     same (the printer's name may be registered later). None of them is a
#     secure custom property: a user's client cannot hand them to the SYSTEM
#     actions;
#   - runs, deferred and as LocalSystem, Kelp.exe from the installed folder:
#     /install on installation and repair, /uninstall on removal, each with a
#     rollback action that undoes it, all between InstallInitialize and
#     InstallFinalize at fixed sequence numbers; the rollback of /install
#     removes the printer only when this first installation made it (no
#     stored model, no printer of that name before);
#   - refuses to start without a model (given or stored), with another model
#     than the installed one, with a LANG other than zh or en, with both
#     HOST and PORT, with a FORCE other than 1, with a value holding a double quote or a control
#     character or ending in a backslash (each would change Kelp's command
#     line), and over a newer version; removes an older version first (major
#     upgrade).
#
# Needs wixl and msitools (msibuild) and python3 (scripts/setup-debian.sh).
set -euo pipefail

# The package's identity, set once per driver package by its vendor. Never
# change the UpgradeCode of a package that has been shipped: it is how every
# later version finds and replaces the earlier one. The ProductCode of each
# version is derived from it and the version.
VENDOR="Vexo"
PRODUCT_NAME="Vexo Receipt Printer Driver"
UPGRADE_CODE="3CC0CA4C-4C2F-4915-9CA1-293021315493"

repo=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 2 ] || [ $# -gt 3 ]; then echo "usage: $0 <driver package folder> <output folder> [version]" >&2; exit 2; fi
package=$1 out=$2
version=${3:-$(sed -n 's/^project(Kelp VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")}
[[ "$version" =~ ^[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] || { echo "msi: version \"$version\" is not major.minor[.build]" >&2; exit 2; }
[ -f "$package/Kelp.exe" ] || { echo "msi: no Kelp.exe at the root of $package" >&2; exit 1; }
for tool in wixl msibuild python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "msi: missing $tool; run scripts/setup-debian.sh first" >&2; exit 1; }
done

mkdir -p "$out"
msi=$out/Kelp-$version.msi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$package" "$version" "$VENDOR" "$PRODUCT_NAME" "$UPGRADE_CODE" >"$work/kelp.wxs" <<'PYTHON'
import os, re, sys, uuid
from xml.sax.saxutils import quoteattr

package, version, vendor, product, upgrade = sys.argv[1:]
upgrade = uuid.UUID(upgrade)
def guid(name): return "{%s}" % str(uuid.uuid5(upgrade, name)).upper()

# A name Windows Installer takes as it is; any other gets a short name too.
SHORT = re.compile(r"^[A-Za-z0-9_^$~!#%&{}@`'()-]{1,8}(\.[A-Za-z0-9_^$~!#%&{}@`'()-]{1,3})?$")
def name_attr(name, taken):
    if SHORT.match(name):
        taken.add(name.upper())
        return quoteattr(name)
    stem, dot, ext = name.rpartition(".") if "." in name else (name, "", "")
    clean = lambda s: re.sub(r"[^A-Za-z0-9_]", "", s).upper()
    for n in range(1, 100):
        short = "%s~%d" % (clean(stem)[: 8 - len(str(n)) - 1], n) + ("." + clean(ext)[:3] if dot and clean(ext) else "")
        if short not in taken:
            taken.add(short)
            return quoteattr(short + "|" + name)
    sys.exit("msi: no short name left for " + name)

components, folders = [], []
def walk(folder, rel, indent):
    lines, taken = [], set()
    entries = sorted(os.listdir(folder))
    for entry in entries:
        path, relpath = os.path.join(folder, entry), os.path.join(rel, entry)
        if os.path.isfile(path):
            cid = "c%d" % len(components)
            fid = "KelpExe" if relpath == "Kelp.exe" else "f%d" % len(components)
            components.append(cid)
            lines.append('%s<Component Id="%s" Guid="%s"><File Id="%s" Name=%s Source=%s KeyPath="yes"/></Component>'
                         % (indent, cid, guid("file:" + relpath), fid, name_attr(entry, taken), quoteattr(relpath)))
    for entry in entries:
        path, relpath = os.path.join(folder, entry), os.path.join(rel, entry)
        if os.path.isdir(path):
            folders.append(relpath)
            lines.append('%s<Directory Id="d%d" Name=%s>' % (indent, len(folders), name_attr(entry, taken)))
            lines += walk(path, relpath, indent + "  ")
            lines.append(indent + "</Directory>")
    return lines

files = "\n".join(walk(package, "", "              "))
key = "Software\\%s\\Kelp\\{%s}" % (vendor, str(upgrade).upper())
stored = [("MODEL", "Model"), ("LANG", "Lang"), ("PORT", "Port"), ("KELPLOG", "Log"), ("HOST", "Host"), ("FORCE", "Force")]
searches = "\n".join('    <Property Id="KelpStored%s"><RegistrySearch Id="Stored%s" Root="HKLM" Key=%s Name="%s" Type="raw"/></Property>'
                     % (name, name, quoteattr(key), name) for _, name in stored)
values = "\n".join('                <RegistryValue Root="HKLM" Key=%s Name="%s" Type="string" Value="[%s]"%s/>'
                   % (quoteattr(key), name, prop, ' KeyPath="yes"' if name == "Model" else "") for prop, name in stored)

# The properties that reach Kelp's command line; each is refused with a
# double quote or a control character in it or a backslash at its end. One
# more property passed to Kelp is one more name here.
passed = ["MODEL", "LANG", "PORT", "HOST", "KELPLOG"]
def unsafe_value(prop):
    conditions = ['NOT (%s &gt;&lt; KelpQuote OR %s &gt;&gt; "\\")' % (prop, prop)]
    # Control characters, compared with the KelpControlNN properties (set
    # after the build: XML cannot hold them), a few per condition.
    terms = ["%s &gt;&lt; KelpControl%02X" % (prop, c) for c in range(1, 32)]
    for i in range(0, len(terms), 8):
        conditions.append("NOT (%s)" % " OR ".join(terms[i:i + 8]))
    message = ("%s must not hold a double quote or a control character, nor end in a backslash: "
               "such a value would change Kelp's command line." % prop)
    return "\n".join('    <Condition Message="%s">%s</Condition>' % (message, c) for c in conditions)
value_conditions = "\n".join(unsafe_value(p) for p in passed)
printers = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\[MODEL]"

install = '/install &quot;/model:[MODEL]&quot; [KelpLangSwitch] [KelpPortSwitch] [KelpForceSwitch] /quiet [KelpLogSwitch]'
uninstall = '/uninstall &quot;/model:[MODEL]&quot; /quiet [KelpLogSwitch]'
installing, removing = 'NOT REMOVE~="ALL"', 'REMOVE~="ALL" AND MODEL AND NOT UPGRADINGPRODUCTCODE'
# The rollback of /install removes only a printer this first installation
# made: not over a stored model (a repair, an upgrade), nor when a printer of
# the model's name was there before (the spooler's key for it).
made_here = installing + ' AND NOT Installed AND NOT KelpStoredModel AND NOT KelpPrinterBefore'

print(f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{guid('product:' + version)}" Name={quoteattr(product)} Language="1033" Version="{version}"
           Manufacturer={quoteattr(vendor)} UpgradeCode="{{{str(upgrade).upper()}}}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine" Manufacturer={quoteattr(vendor)}
             Description={quoteattr(product + ' ' + version)}/>
    <Media Id="1" Cabinet="kelp.cab" EmbedCab="yes"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of [ProductName] is already installed; remove it first to install this one."/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Property Id="REBOOT" Value="ReallySuppress"/>
{searches}
    <Property Id="KelpPrinterBefore"><RegistrySearch Id="PrinterBefore" Root="HKLM" Key="{printers}" Name="Printer Driver" Type="raw"/></Property>
    <Property Id="KelpQuote" Value="&quot;"/>
{value_conditions}
    <Condition Message="No printer model: give MODEL on the command line or in a transform, for example msiexec /i Kelp-{version}.msi MODEL=RK-730P (the model names are in the vendor guide).">MODEL OR KelpStoredModel OR REMOVE~="ALL"</Condition>
    <Condition Message="This package has installed the printer model [KelpStoredModel]; remove it before installing MODEL=[MODEL].">NOT MODEL OR NOT KelpStoredModel OR MODEL~=KelpStoredModel</Condition>
    <Condition Message="LANG must be zh or en (the edition of the driver files), or left out.">NOT LANG OR LANG~="zh" OR LANG~="en"</Condition>
    <Condition Message="Give HOST (a network printer's address) or PORT, not both.">NOT HOST OR NOT PORT</Condition>
    <Condition Message="FORCE must be 1 (install on a HOST whose name cannot be found now) or left out.">NOT FORCE OR FORCE="1"</Condition>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="VendorFolder" Name={quoteattr(vendor)}>
          <Directory Id="KelpFolder" Name="Kelp">
            <Directory Id="INSTALLDIR" Name="DRIVER~1|Driver Package">
              <Component Id="Settings" Guid="{guid('settings')}">
{values}
              </Component>
{files}
            </Directory>
          </Directory>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="DriverPackage" Level="1">
      <ComponentRef Id="Settings"/>
{chr(10).join('      <ComponentRef Id="%s"/>' % c for c in components)}
    </Feature>
    <CustomAction Id="KelpModelFromStore" Property="MODEL" Value="[KelpStoredModel]"/>
    <CustomAction Id="KelpLangFromStore" Property="LANG" Value="[KelpStoredLang]"/>
    <CustomAction Id="KelpHostFromStore" Property="HOST" Value="[KelpStoredHost]"/>
    <CustomAction Id="KelpPortFromStore" Property="PORT" Value="[KelpStoredPort]"/>
    <CustomAction Id="KelpPortAuto" Property="PORT" Value="auto"/>
    <CustomAction Id="KelpLogFromStore" Property="KELPLOG" Value="[KelpStoredLog]"/>
    <CustomAction Id="KelpForceFromStore" Property="FORCE" Value="[KelpStoredForce]"/>
    <CustomAction Id="KelpForceSwitchSet" Property="KelpForceSwitch" Value="/force"/>
    <CustomAction Id="KelpLogSwitchSet" Property="KelpLogSwitch" Value="&quot;/log:[KELPLOG]&quot;"/>
    <CustomAction Id="KelpLangSwitchSet" Property="KelpLangSwitch" Value="/lang:[LANG]"/>
    <CustomAction Id="KelpPortSwitchSet" Property="KelpPortSwitch" Value="&quot;/port:[PORT]&quot;"/>
    <CustomAction Id="KelpHostSwitchSet" Property="KelpPortSwitch" Value="&quot;/host:[HOST]&quot;"/>
    <CustomAction Id="KelpUninstallRollback" FileKey="KelpExe" ExeCommand="{install}" Execute="rollback" Impersonate="no" Return="ignore"/>
    <CustomAction Id="KelpUninstall" FileKey="KelpExe" ExeCommand="{uninstall}" Execute="deferred" Impersonate="no" Return="check"/>
    <CustomAction Id="KelpInstallRollback" FileKey="KelpExe" ExeCommand="{uninstall}" Execute="rollback" Impersonate="no" Return="ignore"/>
    <CustomAction Id="KelpInstall" FileKey="KelpExe" ExeCommand="{install}" Execute="deferred" Impersonate="no" Return="check"/>
    <InstallExecuteSequence>
      <Custom Action="KelpModelFromStore" Sequence="1010">Installed OR NOT MODEL</Custom>
      <Custom Action="KelpLangFromStore" Sequence="1011">Installed OR NOT LANG</Custom>
      <Custom Action="KelpHostFromStore" Sequence="1009">Installed OR (NOT HOST AND NOT PORT)</Custom>
      <Custom Action="KelpPortFromStore" Sequence="1012">Installed OR (NOT PORT AND NOT HOST)</Custom>
      <Custom Action="KelpPortAuto" Sequence="1013">NOT PORT AND NOT HOST</Custom>
      <Custom Action="KelpLogFromStore" Sequence="1014">Installed OR NOT KELPLOG</Custom>
      <Custom Action="KelpLogSwitchSet" Sequence="1015">KELPLOG</Custom>
      <Custom Action="KelpLangSwitchSet" Sequence="1016">LANG</Custom>
      <Custom Action="KelpPortSwitchSet" Sequence="1017">NOT HOST</Custom>
      <Custom Action="KelpHostSwitchSet" Sequence="1018">HOST</Custom>
      <Custom Action="KelpForceFromStore" Sequence="1019">Installed OR NOT FORCE</Custom>
      <Custom Action="KelpForceSwitchSet" Sequence="1020">FORCE="1"</Custom>
      <Custom Action="KelpUninstallRollback" Sequence="1700">{removing}</Custom>
      <Custom Action="KelpUninstall" Sequence="1701">{removing}</Custom>
      <Custom Action="KelpInstallRollback" Sequence="6010">{made_here}</Custom>
      <Custom Action="KelpInstall" Sequence="6011">{installing}</Custom>
    </InstallExecuteSequence>
  </Product>
</Wix>""")
PYTHON

# wixl takes the files' paths relative to its current folder.
(cd "$package" && wixl -a x86 -o "$work/kelp.msi" "$work/kelp.wxs")
# wixl builds Execute="rollback" as an immediate action and writes only the
# secure properties of the major upgrade: both are set here. A rollback
# action is 3410 (exe from an installed file, deferred, rollback, as
# LocalSystem, return code ignored).
msibuild "$work/kelp.msi" -q "UPDATE CustomAction SET Type=3410 WHERE Action='KelpInstallRollback' OR Action='KelpUninstallRollback'"
msibuild "$work/kelp.msi" -q "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property='SecureCustomProperties'"
# The control characters the launch conditions look for, U+0001 to U+001F,
# handed to msibuild as they are (a shell would drop a trailing newline).
python3 - "$work/kelp.msi" <<'CONTROLS'
import subprocess, sys
for code in range(1, 32):
    subprocess.run(["msibuild", sys.argv[1], "-q", "INSERT INTO Property (Property, Value) VALUES "
                    "('KelpControl%02X', '%s')" % (code, chr(code))], check=True)
CONTROLS
mv "$work/kelp.msi" "$msi"
echo "msi: $msi ($PRODUCT_NAME $version)"
