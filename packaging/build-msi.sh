#!/usr/bin/env bash
# Builds the MSI from the exes of a folder with wixl (msitools):
#   packaging/build-msi.sh [--site FOLDER] BIN_DIR OUT.msi [VERSION]
# BIN_DIR holds quillmark.exe and quillmark64.exe (build/windows). The MSI's
# ProductVersion is the FileVersion of the quillmark.exe it packs, read back
# from its version resource; VERSION overrides it (only to test upgrades).
#
# Without --site the package carries the example configuration
# (packaging/quillmark.ini) and the demo's templates that it uses. With
# --site FOLDER it carries FOLDER/quillmark.ini and the template folder it
# names (TemplateFolder, "Vorlagen" when empty) beside it, and is named after
# the folder ("Quillmark (FOLDER)"). A site folder is refused, with nothing
# written, when quillmark.ini is missing, when a file cannot go into an MSI
# (packaging/msi_files.py says which limits), or when /CHECK of the linux
# build (QUILLMARK_LINUX, else build/linux/quillmark) finds an error in the
# configuration. Errors that only say the build machine cannot reach the
# site's database, directory or folders (the log's, the application data
# folder), or has no such user, are printed and let pass: the package is built
# where the site's servers and shares may be out of reach.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
usage="usage: build-msi.sh [--site FOLDER] BIN_DIR OUT.msi [VERSION]"
site=""
if [ "${1:-}" = "--site" ]; then
  site="${2:?$usage}"
  shift 2
fi
bin="${1:?$usage}"
out="${2:?$usage}"
for exe in quillmark.exe quillmark64.exe; do
  [ -f "$bin/$exe" ] || { echo "build-msi.sh: $bin/$exe fehlt (zuerst make windows)" >&2; exit 1; }
done
version="${3:-$(/usr/bin/python3 "$root/tools/exe_version.py" "$bin/quillmark.exe" | sed -n 's/^FileVersion=//p')}"
[ -n "$version" ] || { echo "build-msi.sh: keine Dateiversion in $bin/quillmark.exe" >&2; exit 1; }

# One UpgradeCode for every Quillmark package, the example's and each site's:
# a PC holds one, and installing another replaces it.
upgrade_code=6B0E4F3C-2A61-4F0E-9C55-3D7A1C2B9E41

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# wixl takes each Source relative to the .wxs file: everything is gathered
# beside a copy of it.
cp "$here/quillmark.wxs" "$bin/quillmark.exe" "$bin/quillmark64.exe" "$work/"
cp "$root/examples/task/quillmark-task.xml" "$work/"

if [ -z "$site" ]; then
  # The demo's templates that the example configuration writes signatures
  # from: its team signature is for a shared mailbox (MailboxSignatures=1).
  gathered="$(/usr/bin/python3 "$here/msi_files.py" "$here/quillmark.ini" "$root/examples/demo/Vorlagen" "$work" team)"
  product_name="Quillmark"
  # One ProductCode per version, so that a package of the version installed
  # is recognised as installed (repair, uninstall), and each new version
  # replaces it.
  product_key="$version"
else
  site="${site%/}"
  [ -f "$site/quillmark.ini" ] || { echo "build-msi.sh: $site/quillmark.ini fehlt; kein Paket geschrieben" >&2; exit 1; }
  gathered="$(/usr/bin/python3 "$here/msi_files.py" "$site/quillmark.ini" - "$work")"
  linux="${QUILLMARK_LINUX:-$root/build/linux/quillmark}"
  [ -x "$linux" ] || { echo "build-msi.sh: $linux fehlt (zuerst make linux-program); kein Paket geschrieben" >&2; exit 1; }
  ini="$(cd "$site" && pwd)/quillmark.ini"
  findings="$(TEMP="${TMPDIR:-/tmp}" "$linux" "/INI:${ini//\//\\}" /CHECK 2>&1)" || true
  refusals="$(grep '^Fehler' <<<"$findings" |
    grep -v -e ': Keine Verbindung: ' -e ': Die Suche scheitert: ' -e ': Die Abfrage .* scheitert: ' \
      -e "in Datenbank nicht gefunden! (Abfrage: " -e "im Active-Directory nicht gefunden!" \
      -e "Der Pfad für die konfigurierte Log-Datei '.*' konnte nicht gefunden werden" \
      -e "Anwendungsdatenordner '.*' nicht gefunden" || true)"
  printf '%s\n' "$findings" >&2
  if ! grep -q '^Prüfung beendet: ' <<<"$findings"; then
    echo "build-msi.sh: /CHECK von $linux endete ohne Ergebnis; kein Paket geschrieben" >&2
    exit 1
  fi
  if [ -n "$refusals" ]; then
    echo "build-msi.sh: /CHECK lehnt $site/quillmark.ini ab; kein Paket geschrieben" >&2
    exit 1
  fi
  site_name="$(basename "$(cd "$site" && pwd)")"
  product_name="Quillmark ($site_name)"
  # A ProductCode per version and content: a rebuild of the same site is the
  # package installed; changed templates or configuration make a new product
  # of the same version, which replaces the one installed (the Upgrade table
  # takes the same version in, below).
  product_key="$version|$site_name|$(sed -n 2p <<<"$gathered")"
fi
template_folder="$(sed -n 1p <<<"$gathered")"
product_code="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$product_key")"

(cd "$work" && wixl --arch x86 -D Version="$version" -D ProductCode="$product_code" -D UpgradeCode="$upgrade_code" \
  -D ProductName="$product_name" -D TemplateFolder="$template_folder" -o quillmark.msi quillmark.wxs 2> wixl.log) ||
  { cat "$work/wixl.log" >&2; exit 1; }
# What wixl cannot write itself: the exes' versions (so that Windows Installer
# treats them as versioned files), the message file's path as REG_EXPAND_SZ
# ("#%"; the event log expands it), the configuration as a permanent (16)
# component: an uninstall leaves it, and an upgrade, which removes the old
# product first, installs the new one over it by Windows Installer's rule for
# unversioned files (a file changed since it was installed stays; the
# templates are ordinary components, replaced and removed with the product);
# the upgrade of the same version, and the logon task.
# The same version counts as older (VersionMaxInclusive), so that a site
# package rebuilt with new templates replaces the one installed.
upgrade_migrate=1 upgrade_max_inclusive=512
# LOGONTASK=1 registers the task of examples/task with schtasks.exe: an exe in
# SystemFolder (34), run deferred (1024) as LocalSystem (2048), since only an
# administrator registers a task for the group "Users"; a failure fails the
# install. The uninstall deletes it, whether or not LOGONTASK registered it,
# ignoring the exit status (64) of a task that is not there; the removal of
# the old product in an upgrade leaves it.
# 64-bit Windows runs its own 64-bit schtasks.exe (System64Folder), 32-bit
# Windows the one there is.
task_create=$((34 | 1024 | 2048)) task_delete=$((34 | 64 | 1024 | 2048))
create='/create /xml "[INSTALLDIR]quillmark-task.xml" /tn Quillmark /f' delete='/delete /tn Quillmark /f'
creating='LOGONTASK="1" AND NOT REMOVE~="ALL"' removing='REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'
version64="$(/usr/bin/python3 "$root/tools/exe_version.py" "$bin/quillmark64.exe" | sed -n 's/^FileVersion=//p')"
msibuild "$work/quillmark.msi" \
  -q "UPDATE File SET Version='$version' WHERE File='quillmark.exe'" \
  -q "UPDATE File SET Version='$version64' WHERE File='quillmark64.exe'" \
  -q "UPDATE Registry SET Value='#%[#quillmark.exe]' WHERE Name='EventMessageFile'" \
  -q "UPDATE Component SET Attributes=16 WHERE Component='Config'" \
  -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{$upgrade_code}', '$version', $((upgrade_migrate | upgrade_max_inclusive)), 'WIX_UPGRADE_DETECTED')" \
  -q "UPDATE Property SET Value='WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;LOGONTASK' WHERE Property='SecureCustomProperties'" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('CreateLogonTask', $task_create, 'INSTALLDIR', '\"[System64Folder]schtasks.exe\" $create')" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('CreateLogonTask32', $task_create, 'INSTALLDIR', '\"[SystemFolder]schtasks.exe\" $create')" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('DeleteLogonTask', $task_delete, 'INSTALLDIR', '\"[System64Folder]schtasks.exe\" $delete')" \
  -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('DeleteLogonTask32', $task_delete, 'INSTALLDIR', '\"[SystemFolder]schtasks.exe\" $delete')" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('DeleteLogonTask', '$removing AND VersionNT64', 3400)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('DeleteLogonTask32', '$removing AND NOT VersionNT64', 3401)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('CreateLogonTask', '$creating AND VersionNT64', 6500)" \
  -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('CreateLogonTask32', '$creating AND NOT VersionNT64', 6501)"
mv "$work/quillmark.msi" "$out"
echo "$out: $product_name $version"
