#!/usr/bin/env bash
# The demo: the linux build's main job on examples/demo/, with a copy of the
# demo registry (never the user's own registry file) and an application-data
# folder of its own. Shows the log, the signature files and the registry values,
# then the signatures of a second user (a name outside Latin-1, an "&" in the
# company, no fax and no mobile number), an administrator's preview of the
# second user (/SIMULATE), and at the end the audit of the whole demo company
# (/AUDIT). It prints the version first and shows the status
# and the event of the first run (RunStatus=1, EventLog=2). With --outlook16 it then does the
# first job once more on an Outlook 2016 machine with a German installation
# (examples/demo/registry-outlook16.reg).
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/AppData"
cp -r examples/demo/. "$demo/"
sqlite3 "$demo/benutzer.db" < examples/demo/benutzer.sql
cp build/linux/quillmark "$demo/quillmark"   # reads quillmark.ini beside itself
# A Linux path in the Windows notation the program reads; a text with every
# backslash doubled, for a sed replacement. The database gets its full path.
windows_path() { printf '%s' "${1//\//\\}"; }
sed_text() { printf '%s' "${1//\\/\\\\}"; }
full_database_path() {
  sed -i "s|Data Source=benutzer.db|Data Source=$(sed_text "$(windows_path "$1")\\benutzer.db")|" "$1/quillmark.ini"
}
full_database_path "$demo"
cp "$demo/registry.reg" "$demo/registry-before.reg"

cd "$demo"
echo "=== ./quillmark /VERSION"
./quillmark /VERSION

# A syslog daemon of the demo's own, for EventLog=2: the runs send their
# events to the socket QUILLMARK_SYSLOG names, perl writes down each one.
export QUILLMARK_SYSLOG="$demo/syslog.sock"
perl -MSocket -MIO::Socket::UNIX -e '
  my $socket = IO::Socket::UNIX->new(Type => SOCK_DGRAM, Local => $ARGV[0]) or die "$!\n";
  open(my $out, ">>", $ARGV[1]) or die "$!\n";
  $out->autoflush(1);
  while (defined $socket->recv(my $event, 8192)) { print $out "$event\n"; }' \
  "$QUILLMARK_SYSLOG" "$demo/syslog.txt" &
syslog_daemon=$!
trap 'kill $syslog_daemon 2>/dev/null' EXIT
for _ in $(seq 50); do [ -S "$QUILLMARK_SYSLOG" ] && break; sleep 0.1; done

# First the check an administrator makes after every change: it reads the
# configuration, the templates and the database, and changes nothing.
echo "=== /CHECK of the demo's configuration"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /CHECK
check=$?
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
status=$?
[ "$status" -ne 0 ] || status=$check

cp1252() { iconv -f WINDOWS-1252 -t UTF-8 "$@"; }
utf16() { iconv -f UTF-16LE -t UTF-8 "$@" | tr -d '\r'; }

echo "=== exit status: $status"
echo "=== log file $demo/Quillmark.log"
cp1252 Quillmark.log | tr -d '\r'
echo "=== signature folder $demo/AppData/Microsoft/Signatures"
ls -l AppData/Microsoft/Signatures
for f in AppData/Microsoft/Signatures/*.txt; do
  [ -e "$f" ] || continue
  echo "=== $f"
  cp1252 "$f" | tr -d '\r'
done
echo "=== the signature rules and the account sections in the log"
cp1252 Quillmark.log | tr -d '\r' | grep -E 'Regel|Konto-Abschnitt|Abschnitt Account|EMail-Konto'
echo "=== registry keys with values set or changed"
changed_keys() {  # the keys of the second file whose values differ from the first
  awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == FNR { before[$0] = 1; next } /\n"/ && !($0 in before)' \
    <(utf16 "$1") <(utf16 "$2")
}
changed_keys registry-before.reg registry.reg
echo "=== the run's event, as syslog received it (RunStatus=1 wrote its status: the key Software\\Quillmark above, with FileErrors from ReportFileErrors=1)"
cat syslog.txt
echo "=== open $demo/AppData/Microsoft/Signatures/standard.htm in a browser to see the signature"

# The second user, on a PC of his own: his application-data folder and registry.
# He works in Gdańsk, so the demo's rule gives him the short reply signature.
mkdir -p "$demo/AppData-lzolc"
cp registry-before.reg registry-lzolc.reg
QUILLMARK_REGISTRY="$demo/registry-lzolc.reg" APPDATA="$demo/AppData-lzolc" USERNAME=lzolc \
  LANG=de_DE.UTF-8 ./quillmark
status2=$?
echo
echo "=== second user lzolc: exit status: $status2"
for f in AppData-lzolc/Microsoft/Signatures/*.txt; do
  [ -e "$f" ] || continue
  echo "=== $f (Windows' look-alikes for the letters Windows-1252 lacks, \"?\" where it has none; no fax and no mobile line)"
  cp1252 "$f" | tr -d '\r'
done
echo "=== his name and company in standard.htm and standard.rtf, escaped for the format"
grep -a -e 'font-size:11pt' -e '<b>' AppData-lzolc/Microsoft/Signatures/standard.htm | tr -d '\r'
grep -a -e '^{\\b' AppData-lzolc/Microsoft/Signatures/standard.rtf | tr -d '\r'
[ "$status" -ne 0 ] || status=$status2

# An administrator previews the second user's signatures on the demo PC with
# /SIMULATE: the same run, written into the folder Vorschau-lzolc beside the
# configuration; the registry and the AppData folder stay as they are.
cp registry.reg registry-before-preview.reg
tree_sums() { find AppData -type f -exec md5sum {} + | sort; }
appdata_before="$(tree_sums)"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=lzolc \
  LANG=de_DE.UTF-8 ./quillmark /SIMULATE:Vorschau-lzolc /DEBUG:LOG
status3=$?
echo
echo "=== preview for lzolc with /SIMULATE:Vorschau-lzolc: exit status: $status3"
last_run() { cp1252 Quillmark.log | tr -d '\r' | awk '/Starte Quillmark/ { run = "" } { run = run $0 "\n" } END { printf "%s", run }'; }
last_run | sed -n '/Simulation/p; /Regel/p; /Abschnitt Account/p; /Vorschau:/p'
ls -l Vorschau-lzolc
if cmp -s registry.reg registry-before-preview.reg && [ "$(tree_sums)" = "$appdata_before" ]; then
  echo "=== the registry and the AppData folder are unchanged"
else
  echo "=== the preview changed the registry or the AppData folder"
  status3=1
fi
echo "=== open $demo/Vorschau-lzolc/index.htm in a browser (make preview takes a screenshot of the demo user's page)"
[ "$status" -ne 0 ] || status=$status3

# Signatures per mailbox (MailboxSignatures=1): the demo user's Outlook 2007
# profile holds her own Exchange mailbox and the shared mailbox vertrieb@; each
# gets a signature set of its own with the mailbox's entry from a directory
# server the demo starts (verzeichnis.ldif), and each account its own defaults.
if [ -x /usr/sbin/slapd ]; then
  dir="$demo/verzeichnis"
  mkdir -p "$dir/db" "$demo/AppData-postfaecher"
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf 'include %s\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\ndatabase mdb\nsuffix "dc=nordlicht,dc=example"\ndirectory %s\n' \
    "$root/tests/fixtures/ldap/ad-user.schema" "$dir/db" > "$dir/slapd.conf"
  /usr/sbin/slapadd -q -f "$dir/slapd.conf" -l verzeichnis.ldif
  /usr/sbin/slapd -h "ldap://127.0.0.1:$port/" -f "$dir/slapd.conf" -d 0 >/dev/null 2>&1 &
  slapd_pid=$!
  trap 'kill $slapd_pid $syslog_daemon 2>/dev/null' EXIT
  for i in $(seq 1 100); do ldapsearch -x -H "ldap://127.0.0.1:$port/" -b "" -s base >/dev/null 2>&1 && break; sleep 0.1; done
  sed -i "s|^LDAPBaseObjectDN=|LDAPBaseObjectDN=127.0.0.1:$port/|" postfaecher.ini
  cp registry-postfaecher.reg registry-postfaecher-before.reg
  QUILLMARK_REGISTRY="$demo/registry-postfaecher.reg" APPDATA="$demo/AppData-postfaecher" USERNAME=demo \
    LANG=de_DE.UTF-8 ./quillmark /INI:postfaecher.ini /DEBUG:LOG
  status4=$?
  kill $slapd_pid 2>/dev/null; trap 'kill $syslog_daemon 2>/dev/null' EXIT
  echo
  echo "=== signatures per mailbox (postfaecher.ini): exit status: $status4"
  cp1252 Quillmark.log | tr -d '\r' | awk '/Starte Quillmark/ { run = "" } { run = run $0 "\n" } END { printf "%s", run }' |
    grep -E 'Postf|Regel 1 f'
  ls AppData-postfaecher/Microsoft/Signatures
  f="AppData-postfaecher/Microsoft/Signatures/team (vertrieb@nordlicht.example).txt"
  echo "=== $f"
  cp1252 "$f" | tr -d '\r'
  echo "=== registry keys with values set or changed"
  changed_keys registry-postfaecher-before.reg registry-postfaecher.reg
  [ "$status" -ne 0 ] || status=$status4
else
  echo "=== signatures per mailbox: no slapd here (scripts/install-deps.sh demo installs it)"
fi
# The same check on a copy with a newcomer's mistakes: a mistyped key, a
# placeholder that names no field, a logo saved as PNG. Each gets its line.
broken="$root/build/demo-check"
rm -rf "$broken"
mkdir -p "$broken/AppData"
cp -r "$demo/Vorlagen" "$broken/Vorlagen"
cp "$demo/quillmark.ini" "$demo/registry-before.reg" "$broken/"
sed -i 's/^DropEmptyLines=1/DropEmptyLine=1/' "$broken/quillmark.ini"
sed -i 's/@EMAIL@/@EMIAL@/' "$broken/Vorlagen/kurz.txt"
cp "$broken/Vorlagen/standard_logo.gif" "$broken/Vorlagen/standard_logo.png"
echo
echo "=== /CHECK of a copy with three mistakes (build/demo-check)"
QUILLMARK_REGISTRY="$broken/registry-before.reg" APPDATA="$broken/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark "/INI:$(windows_path "$broken")\\quillmark.ini" /CHECK
echo "=== exit status: $? (1: the check found errors)"

# The audit of the whole demo company before a rollout (/AUDIT:Audit): every
# name of the personnel department's list (AuditSelect) is run as at that
# user's logon into a folder of its own below Audit, beside the configuration,
# with one page and a CSV of who would fail and why. The newcomer jneumann has
# no row in the user database yet (an error); Łukasz Żółć-Müller has no
# initials, which AuditRequire asks of everybody (a warning). Nothing outside
# the folder changes: no registry value, no file below AppData, no log, no event.
cd "$demo"
outside() { md5sum registry.reg Quillmark.log syslog.txt; tree_sums; }
outside_before="$(outside)"
echo
echo "=== /AUDIT:Audit, the whole demo company"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /AUDIT:Audit
status5=$?
echo "=== exit status: $status5 (1: a user's run would fail)"
echo "=== $demo/Audit/audit.csv"
tail -c +4 Audit/audit.csv | tr -d '\r'
echo "=== the audit's folder and one user's folder in it"
ls Audit
ls Audit/lzolc
echo "=== the last lines of jneumann's log"
cp1252 Audit/jneumann/Quillmark.log | tr -d '\r' | tail -3
if [ "$status5" -eq 1 ] && [ -s Audit/index.htm ] && [ "$(outside)" = "$outside_before" ]; then
  echo "=== the registry, the AppData folder, the log and the events are unchanged"
  status5=0
else
  echo "=== the audit did not end as expected, or changed something outside its folder"
  status5=1
fi
echo "=== open $demo/Audit/index.htm in a browser (scripts/audit-screenshot.sh takes a screenshot of it)"
[ "$status" -ne 0 ] || status=$status5

# Signatures that stay as issued: a copy of the demo's configuration that
# removes only the program's own old files and write-protects what it
# writes. A signature of the user's own stays; one the configuration no
# longer gives (sommer, a campaign given at the first run only) goes at the second.
issued="$demo/issued"
rm -rf "$issued"
mkdir -p "$issued/AppData/Microsoft/Signatures"
printf 'meine eigene Signatur\r\n' > "$issued/AppData/Microsoft/Signatures/privat.txt"
cp -r Vorlagen "$issued/Vorlagen"
for e in htm rtf txt; do printf 'Sommeraktion: @FULLNAME@\r\n' > "$issued/Vorlagen/sommer.$e"; done
sed -e 's/^EmptySignatureFolder=2/RemoveOldSignatures=2\nProtectSignatures=1/' \
    -e 's/^FixedSignType=standard,kurz$/FixedSignType=standard,kurz,sommer/' \
    -e 's/^RunStatus=1/RunStatus=0/' -e 's/^EventLog=2/EventLog=0/' quillmark.ini > "$issued/quillmark.ini"
issued_run() {
  QUILLMARK_REGISTRY="$issued/registry.reg" APPDATA="$issued/AppData" USERNAME=demo \
    LANG=de_DE.UTF-8 ./quillmark "/INI:$(windows_path "$issued")\\quillmark.ini" /DEBUG:LOG >/dev/null
}
cp registry.reg "$issued/registry.reg"
issued_run
status6=$?
# The next logon, weeks later, with "sommer" no longer assigned.
touch -d '2 hours ago' "$issued/AppData/Microsoft/Signatures/"*
sed -i 's/^FixedSignType=standard,kurz,sommer$/FixedSignType=standard,kurz/' "$issued/quillmark.ini"
issued_run || status6=1
echo
echo "=== RemoveOldSignatures=2 and ProtectSignatures=1: the second run's lines"
cp1252 "$issued/Quillmark.log" | tr -d '\r' | sed -n '/Entferne alte Signaturen/,/Liste der geschriebenen/p' | tail -5
echo "=== the signature folder after it (read-only files: r--)"
(cd "$issued/AppData/Microsoft/Signatures" && ls -l | awk 'NR > 1 { print $1, $NF }')
[ -f "$issued/AppData/Microsoft/Signatures/privat.txt" ] && [ ! -e "$issued/AppData/Microsoft/Signatures/sommer.htm" ] || status6=1
[ "$status" -ne 0 ] || status=$status6

if [ "${1:-}" = "--outlook16" ]; then
  # The same job for Outlook 2016 and later: a registry whose profile lives
  # below Office\16.0, and which names the signature folder "Signaturen".
  demo16="$root/build/demo-outlook16"
  rm -rf "$demo16"
  mkdir -p "$demo16/AppData"
  cp -r "$root/examples/demo/." "$demo16/"
  cp "$demo16/registry-outlook16.reg" "$demo16/registry.reg"
  cp "$demo16/registry.reg" "$demo16/registry-before.reg"
  sqlite3 "$demo16/benutzer.db" < "$root/examples/demo/benutzer.sql"
  cp "$root/build/linux/quillmark" "$demo16/quillmark"
  full_database_path "$demo16"
  cd "$demo16"
  QUILLMARK_REGISTRY="$demo16/registry.reg" APPDATA="$demo16/AppData" USERNAME=demo \
    LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
  status16=$?
  echo
  echo "=== Outlook 2016: exit status: $status16"
  echo "=== registration in the log file $demo16/Quillmark.log"
  cp1252 Quillmark.log | tr -d '\r' | sed -n '/Outlook-Version/p; /Pfad Outlook-Signaturen/p; /Stelle Standard-Signatur/,$p'
  echo "=== registry keys with values set or changed"
  changed_keys registry-before.reg registry.reg
  [ "$status" -ne 0 ] || status=$status16
fi
exit $status
