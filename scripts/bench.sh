#!/usr/bin/env bash
# Benchmarks of the linux build on this machine, printed side by side:
#  (a) a full silent run of the demo: wall time and peak memory (median of 9),
#      beside a process that only reads the INI and writes the three files;
#  (b) rendering throughput of a 50 MB template with all 23 placeholders,
#      each with a value, against GNU sed putting the same values in;
#  (c) how a run's time grows with the number of sign types and images;
#  (d) a run on a real-sized registry file (100,000 keys in 20 MB, 10,000 of
#      them under one key) beside the same run on the Outlook keys alone;
#  (e) a run on a registry file with a key nested 20,000 levels deep: the
#      file's size before and after the run registers its signatures;
#  (f) what 1,000 signature rules with field conditions add to a run;
#  (g) what a group rule adds to a directory run when the user is in 500
#      groups, 50 of them directly and the rest nested ten levels deep (a
#      slapd of its own on loopback);
#  (h) what signatures for 50, 100 and 200 mailboxes add to a directory run,
#      and that 200 take at most 2.2 times as long as 100.
# At the end, the targets of the figures are checked; a missed one fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$PWD/build/linux/quillmark"
work="$PWD/build/bench"
rm -rf "$work"; mkdir -p "$work"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Runs the command 9 times; prints "median-seconds median-peak-kB".
measure() {
  local t m
  # What earlier steps wrote (tens of megabytes) reaches the disk first, not
  # during the runs timed.
  sync
  for i in 1 2 3 4 5 6 7 8 9; do
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
    cat "$work/time.txt"
  done > "$work/runs.txt"
  t=$(cut -d' ' -f1 "$work/runs.txt" | median)
  m=$(cut -d' ' -f2 "$work/runs.txt" | median)
  echo "$t $m"
}

registry() {  # an Outlook 2007 machine without profile needs: only the version is read
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@="Outlook.Application.13"\r\n' > "$1"
}

# (a) the demo, silent.
demo="$work/demo"
mkdir -p "$demo/AppData"
cp -r examples/demo/. "$demo/"
sqlite3 "$demo/benutzer.db" < examples/demo/benutzer.sql
cp "$exe" "$demo/quillmark"
cd "$demo"
export QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo LANG=de_DE.UTF-8
read -r demo_t demo_m < <(measure ./quillmark)
# The floor: a process that reads the INI and writes three files.
floor() { grep -c . quillmark.ini >/dev/null; cat Vorlagen/standard.htm > AppData/a.htm; cat Vorlagen/standard.rtf > AppData/a.rtf; cat Vorlagen/standard.txt > AppData/a.txt; }
export -f floor
read -r floor_t floor_m < <(measure bash -c floor)
cd - >/dev/null

# (b) rendering throughput: every placeholder has a value from a SQLite user
# database, and sed is given the same values; the two write the same bytes.
big="$work/big"
mkdir -p "$big/Vorlagen" "$big/AppData"
registry "$big/registry.reg"
names="FIRSTNAME LASTNAME INITIALS TITLE FULLNAME SIGNTITLE PHONE FAX MOBILE EMAIL POSTCODE CITY STREET USERDEF1 USERDEF2 USERDEF3 USERDEF4 USERDEF5 USERDEF6 USERDEF7 USERDEF8 USERDEF9 USERDEF10"
python3 - "$big/Vorlagen/big.htm" "$names" <<'PY'
import sys
names = sys.argv[2].split()
line = ("<tr><td>" + " ".join("@%s@" % n for n in names) + "</td></tr>\r\n").encode()
with open(sys.argv[1], "wb") as f:
    n = (50 * 1024 * 1024) // len(line)
    f.write(line * n)
PY
: > "$big/Vorlagen/big.rtf"; : > "$big/Vorlagen/big.txt"
fields="FirstName LastName Initials Title SignTitle1 SignTitle2 Phone Fax Mobile EMail Postcode City Street UserDef1 UserDef2 UserDef3 UserDef4 UserDef5 UserDef6 UserDef7 UserDef8 UserDef9 UserDef10"
value() { echo "Wert-${1^^}"; }  # a field's value: Wert-FIRSTNAME, ...
{
  printf 'CREATE TABLE Benutzer (%s);\nINSERT INTO Benutzer VALUES (' "$(echo $fields | sed 's/ / text, /g') text"
  sep=""; for f in $fields; do printf "%s'%s'" "$sep" "$(value $f)"; sep=", "; done
  printf ');\n'
} | sqlite3 "$big/benutzer.db"
{
  printf '[Main]\r\nFixedSignType=big\r\nAppDataPath=%s\r\n' "$(echo "$big/AppData" | tr / '\\')"
  printf 'DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%s\r\n' "$(echo "$big/benutzer.db" | tr / '\\')"
  printf 'UserSelect=SELECT * FROM Benutzer\r\n[FieldMapping]\r\n'
  for f in $fields; do printf '%s=%s\r\n' "$f" "$f"; done
} > "$big/big.ini"
size_mb=$(( $(stat -c %s "$big/Vorlagen/big.htm") / 1024 / 1024 ))
read -r render_t render_m < <(QUILLMARK_REGISTRY="$big/registry.reg" measure "$exe" "/INI:$(echo "$big/big.ini" | tr / '\\')")
sed_args=()
for n in $names; do
  case $n in
    FULLNAME) v="Wert-TITLE Wert-FIRSTNAME Wert-INITIALS Wert-LASTNAME" ;;
    SIGNTITLE) v="Wert-SIGNTITLE1<br>Wert-SIGNTITLE2" ;;
    *) v="Wert-$n" ;;
  esac
  sed_args+=(-e "s/@$n@/$v/g")
done
read -r sed_t sed_m < <(measure sed "${sed_args[@]}" "$big/Vorlagen/big.htm")
sed "${sed_args[@]}" "$big/Vorlagen/big.htm" > "$big/sed.htm"
same_bytes=0
cmp -s "$big/sed.htm" "$big/AppData/Microsoft/Signatures/big.htm" && same_bytes=1

# (b) again with conditional blocks (TemplateConditions=1): every line of
# values in a block of its own, which sed gets as two deletions more.
python3 - "$big/Vorlagen/cond.htm" "$names" <<'PY'
import sys
names = sys.argv[2].split()
block = ("@IF MOBILE@\r\n<tr><td>" + " ".join("@%s@" % n for n in names) + "</td></tr>\r\n@ENDIF@\r\n").encode()
with open(sys.argv[1], "wb") as f:
    n = (50 * 1024 * 1024) // len(block)
    f.write(block * n)
PY
: > "$big/Vorlagen/cond.rtf"; : > "$big/Vorlagen/cond.txt"
sed -e 's/^FixedSignType=big/FixedSignType=cond\r\nTemplateConditions=1/' "$big/big.ini" > "$big/cond.ini"
read -r cond_t cond_m < <(QUILLMARK_REGISTRY="$big/registry.reg" measure "$exe" "/INI:$(echo "$big/cond.ini" | tr / '\\')")
read -r condsed_t _ < <(measure sed -e '/^@IF MOBILE@\r$/d' -e '/^@ENDIF@\r$/d' "${sed_args[@]}" "$big/Vorlagen/cond.htm")
sed -e '/^@IF MOBILE@\r$/d' -e '/^@ENDIF@\r$/d' "${sed_args[@]}" "$big/Vorlagen/cond.htm" > "$big/sed-cond.htm"
cond_same=0
cmp -s "$big/sed-cond.htm" "$big/AppData/Microsoft/Signatures/cond.htm" && cond_same=1

# (c) scaling with sign types and images.
scale() {  # types images -> seconds
  local dir="$work/scale-$1-$2"
  mkdir -p "$dir/Vorlagen" "$dir/AppData"
  registry "$dir/registry.reg"
  local list=""
  for i in $(seq 1 "$1"); do
    for e in htm rtf txt; do printf 'Hallo @FULLNAME@\r\n@PHONE@\r\n' > "$dir/Vorlagen/s$i.$e"; done
    list="$list${list:+,}s$i"
  done
  for i in $(seq 1 "$2"); do printf 'GIF89a' > "$dir/Vorlagen/s1_bild$i.gif"; done
  printf '[Main]\r\nFixedSignType=%s\r\nAppDataPath=%s\r\n' "$list" "$(echo "$dir/AppData" | tr / '\\')" > "$dir/s.ini"
  QUILLMARK_REGISTRY="$dir/registry.reg" measure "$exe" "/INI:$(echo "$dir/s.ini" | tr / '\\')" | cut -d' ' -f1
}

# (d), (e) registry files around an Outlook 2007 machine whose default account
# gets the signature names: "outlook" holds its keys alone, "large" adds 100,000
# keys, "deep" one key nested 20,000 levels deep.
regfile() {  # kind file
  python3 - "$1" "$2" <<'PY'
import sys
kind, path = sys.argv[1], sys.argv[2]
profiles = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles"
account = profiles + "\\Test\\9375CFF0413111d3B88A00104B2A6676"
name = ",".join("%02x" % b for b in "Konto".encode("utf-16-le") + b"\0\0")
parts = ["Windows Registry Editor Version 5.00\r\n\r\n",
         "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]\r\n@=\"Outlook.Application.12\"\r\n\r\n",
         "[%s]\r\n\"DefaultProfile\"=\"Test\"\r\n\r\n" % profiles,
         "[%s]\r\n\"{ED475418-B0D6-11D2-8C3B-00104B2A6676}\"=hex:00,00,00,02\r\n\r\n" % account,
         "[%s\\00000002]\r\n\"Account Name\"=hex:%s\r\n\r\n" % (account, name)]
if kind == "large":
    for i in range(10000):  # as many as HKEY_CLASSES_ROOT\CLSID holds on a real PC
        parts.append("[HKEY_CLASSES_ROOT\\CLSID\\{%08X-0000-4000-8000-00000000%04X}]\r\n@=\"Komponente %d\"\r\n\r\n" % (i * 7919, i, i))
    for i in range(90000):
        parts.append("[HKEY_CURRENT_USER\\Software\\Firma%03d\\Produkt%02d\\Satz%05d]\r\n"
                     "\"Wert\"=\"Wert %d\"\r\n\"Stufe\"=dword:%08x\r\n\r\n" % (i % 300, i % 97, i, i, i))
elif kind == "deep":
    parts.append("[HKEY_CURRENT_USER\\Software\\Tief" + "\\a" * 20000 + "]\r\n\"Wert\"=\"unten\"\r\n\r\n")
with open(path, "wb") as f:
    f.write(b"\xff\xfe" + "".join(parts).encode("utf-16-le"))
PY
}
regrun() {  # kind -> "seconds peak-kB size-before size-after" of one run on that registry file
  local dir="$work/registry-$1"
  mkdir -p "$dir/Vorlagen" "$dir/AppData"
  for e in htm rtf txt; do printf 'Hallo @FULLNAME@\r\n' > "$dir/Vorlagen/s.$e"; done
  printf '[Main]\r\nFixedSignType=s\r\nTargetSignType=Standard\r\nAppDataPath=%s\r\n' "$(echo "$dir/AppData" | tr / '\\')" > "$dir/s.ini"
  regfile "$1" "$dir/registry.reg"
  local before; before=$(stat -c %s "$dir/registry.reg")
  cp "$dir/registry.reg" "$dir/registry.orig"
  for i in 1 2 3; do  # each run starts from the same file; the median of three
    cp "$dir/registry.orig" "$dir/registry.reg"
    local status=0
    QUILLMARK_REGISTRY="$dir/registry.reg" timeout "${REGISTRY_TIMEOUT:-600}" \
      /usr/bin/time -f "%e %M" -o "$work/time.txt" "$exe" "/INI:$(echo "$dir/s.ini" | tr / '\\')" >/dev/null 2>&1 || status=$?
    case "$status" in
      0) cat "$work/time.txt" ;;
      124) echo "timeout -" ;;
      *) echo "failed -" ;;  # a run that ends with an error measures nothing
    esac
  done > "$work/runs.txt"
  echo "$(cut -d' ' -f1 "$work/runs.txt" | median) $(cut -d' ' -f2 "$work/runs.txt" | median) $before $(stat -c %s "$dir/registry.reg")"
}
read -r outlook_t outlook_m _ _ < <(regrun outlook)
read -r large_t large_m large_size _ < <(regrun large)
read -r _ _ deep_before deep_after < <(regrun deep)

# (f) 1,000 rules, every one with field conditions, the last one matching.
rules="$work/rules"
mkdir -p "$rules/Vorlagen" "$rules/AppData"
registry "$rules/registry.reg"
for e in htm rtf txt; do printf 'Hallo @FULLNAME@\r\n' > "$rules/Vorlagen/s.$e"; done
printf '[Main]\r\nFixedSignType=s\r\nAppDataPath=%s\r\n' "$(echo "$rules/AppData" | tr / '\\')" > "$rules/none.ini"
cp "$rules/none.ini" "$rules/many.ini"
for i in $(seq 1 1000); do
  printf '[Rule%d]\r\nCity=Ort%d*\r\nUserDef1=[A-M]*\r\nFirstName=?*\r\nSignType=s\r\n' "$i" "$i"
done >> "$rules/many.ini"
printf '[Rule1001]\r\nSignType=s\r\n' >> "$rules/many.ini"
read -r norules_t _ < <(QUILLMARK_REGISTRY="$rules/registry.reg" measure "$exe" "/INI:$(echo "$rules/none.ini" | tr / '\\')")
read -r rules_t _ < <(QUILLMARK_REGISTRY="$rules/registry.reg" measure "$exe" "/INI:$(echo "$rules/many.ini" | tr / '\\')")

# (g) a slapd with one user in 500 groups.
groups="$work/groups"
mkdir -p "$groups/Vorlagen" "$groups/AppData" "$groups/db"
registry "$groups/registry.reg"
for e in htm rtf txt; do printf 'Hallo @FULLNAME@\r\n' > "$groups/Vorlagen/s.$e"; done
python3 - "$groups/groups.ldif" <<'PY'
import sys
out = ["dn: dc=bench,dc=test\nobjectClass: domain\ndc: bench\n",
       "dn: ou=Leute,dc=bench,dc=test\nobjectClass: organizationalUnit\nou: Leute\n",
       "dn: ou=Gruppen,dc=bench,dc=test\nobjectClass: organizationalUnit\nou: Gruppen\n",
       "dn: cn=Benutzer,ou=Leute,dc=bench,dc=test\nobjectClass: user\nobjectCategory: person\n"
       "cn: Benutzer\nsAMAccountName: benutzer\nsn: Bank\n"]
for i in range(200):
    out.append("dn: cn=Postfach %d,ou=Leute,dc=bench,dc=test\nobjectClass: user\nobjectCategory: person\n"
               "cn: Postfach %d\nsn: Team %d\nmail: m%d@bench.test\n" % (i, i, i, i))
for level in range(1, 11):
    for i in range(50):
        member = "cn=Benutzer,ou=Leute" if level == 1 else "cn=g%d-%d,ou=Gruppen" % (level - 1, i)
        out.append("dn: cn=g%d-%d,ou=Gruppen,dc=bench,dc=test\nobjectClass: groupOfNames\ncn: g%d-%d\n"
                   "member: %s,dc=bench,dc=test\n" % (level, i, level, i, member))
open(sys.argv[1], "w").write("\n".join(out))
PY
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'include %s\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\ndatabase mdb\nsuffix "dc=bench,dc=test"\ndirectory %s\n' \
  "$PWD/tests/fixtures/ldap/ad-user.schema" "$groups/db" > "$groups/slapd.conf"
/usr/sbin/slapadd -q -f "$groups/slapd.conf" -l "$groups/groups.ldif"
/usr/sbin/slapd -h "ldap://127.0.0.1:$port/" -f "$groups/slapd.conf" -d 0 >/dev/null 2>&1 &
slapd_pid=$!
trap 'kill $slapd_pid 2>/dev/null' EXIT
for i in $(seq 1 100); do ldapsearch -x -H "ldap://127.0.0.1:$port/" -b "" -s base >/dev/null 2>&1 && break; sleep 0.1; done
for kind in below member; do
  printf '[Main]\r\nFixedSignType=s\r\nAppDataPath=%s\r\nLDAPBaseObjectDN=dc=bench,dc=test\r\n[Rule1]\r\n' \
    "$(echo "$groups/AppData" | tr / '\\')" > "$groups/$kind.ini"
done
printf 'Below=ou=Leute,dc=bench,dc=test\r\n' >> "$groups/below.ini"
printf 'MemberOf=g10-49\r\n' >> "$groups/member.ini"
export LDAPURI="ldap://127.0.0.1:$port/" LDAPCONF=/dev/null LDAPRC=quillmark-bench-none
read -r below_t _ < <(QUILLMARK_REGISTRY="$groups/registry.reg" measure "$exe" "/ADUSER:benutzer" "/INI:$(echo "$groups/below.ini" | tr / '\\')")
read -r member_t _ < <(QUILLMARK_REGISTRY="$groups/registry.reg" measure "$exe" "/ADUSER:benutzer" "/INI:$(echo "$groups/member.ini" | tr / '\\')")
QUILLMARK_REGISTRY="$groups/registry.reg" "$exe" /ADUSER:benutzer /DEBUG:LOG "/INI:$(echo "$groups/member.ini" | tr / '\\')" >/dev/null 2>&1 || true
found=$(grep -a 'Gruppen:' "$groups/Quillmark.log" | tail -1 | tr ';' '\n' | grep -c g || true)

# (h) signatures per mailbox: Outlook 2007 profiles of 50, 100 and 200
# accounts named by addresses the directory knows, three signatures each,
# against the same directory run without them.
mailboxes="$work/mailboxes"
mkdir -p "$mailboxes/Vorlagen"
for t in s1 s2 s3; do
  for e in htm rtf txt; do printf 'Hallo @FULLNAME@ @MAILBOX_LASTNAME@\r\n' > "$mailboxes/Vorlagen/$t.$e"; done
done
for n in 50 100 200; do
  python3 - "$mailboxes/registry$n.reg" "$n" <<'PY'
import sys
n = int(sys.argv[2])
hexed = lambda t: ",".join("%02x,00" % ord(c) for c in t) + ",00,00"
key = ("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\"
       "Windows Messaging Subsystem\\Profiles")
accounts = key + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676"
lines = ["Windows Registry Editor Version 5.00", "",
         "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]", '@="Outlook.Application.12"', "",
         "[%s]" % key, '"DefaultProfile"="Outlook"', "", "[%s]" % accounts,
         '"{ED475418-B0D6-11D2-8C3B-00104B2A6676}"=hex:' + ",".join("00,00,01,%02x" % i for i in range(n)), ""]
for i in range(n):
    lines += ["[%s\\000001%02X]" % (accounts, i), '"Account Name"=hex:' + hexed("m%d@bench.test" % i), ""]
open(sys.argv[1], "w", encoding="utf-16-le").write("\ufeff" + "\r\n".join(lines) + "\r\n")
PY
done
for kind in without with; do
  printf '[Main]\r\nFixedSignType=s1,s2,s3\r\nAppDataPath=%s\r\nLDAPBaseObjectDN=dc=bench,dc=test\r\n' \
    "$(echo "$mailboxes/AppData" | tr / '\\')" > "$mailboxes/$kind.ini"
done
printf 'MailboxSignatures=1\r\n' >> "$mailboxes/with.ini"
for kind in without with; do printf '[FieldMapping]\r\nLastName=*sn\r\n' >> "$mailboxes/$kind.ini"; done
mkdir -p "$mailboxes/AppData"
read -r nomailbox_t _ < <(QUILLMARK_REGISTRY="$mailboxes/registry50.reg" measure "$exe" "/ADUSER:benutzer" "/INI:$(echo "$mailboxes/without.ini" | tr / '\\')")
declare -A mailbox_t mailbox_files
for n in 50 100 200; do
  rm -rf "$mailboxes/AppData/Microsoft"
  read -r mailbox_t[$n] _ < <(QUILLMARK_REGISTRY="$mailboxes/registry$n.reg" measure "$exe" "/ADUSER:benutzer" "/INI:$(echo "$mailboxes/with.ini" | tr / '\\')")
  mailbox_files[$n]=$(ls "$mailboxes/AppData/Microsoft/Signatures" | grep -c '@bench.test).txt' || true)
done
kill $slapd_pid 2>/dev/null; trap - EXIT

printf '\n%-58s %12s %14s\n' "benchmark (linux build, $(nproc) cores)" "seconds" "peak memory"
printf '%-58s %12s %11s kB\n' "(a) full silent demo run (median of 9)" "$demo_t" "$demo_m"
printf '%-58s %12s %11s kB\n' "    floor: read the INI, write three files" "$floor_t" "$floor_m"
printf '%-58s %12s %11s kB\n' "(b) render ${size_mb} MB template, 23 placeholders" "$render_t" "$render_m"
printf '%-58s %12s %11s kB\n' "    GNU sed, the same 23 substitutions" "$sed_t" "$sed_m"
LC_ALL=C awk -v q="$render_t" -v s="$sed_t" -v mb="$size_mb" 'BEGIN {
  printf "    throughput: quillmark %.0f MB/s, sed %.0f MB/s, ratio %.2f\n", mb/q, mb/s, s/q }'
printf '%-58s %12s %11s kB\n' "    the same with a conditional block around every line" "$cond_t" "$cond_m"
printf '%-58s %12s\n' "    GNU sed, the same with the marker lines deleted" "$condsed_t"
for c in "1 10" "10 10" "100 10" "1 1000"; do
  set -- $c
  printf '%-58s %12s\n' "(c) $1 sign types, $2 images" "$(scale "$1" "$2")"
done
printf '%-58s %12s %11s kB\n' "(d) run, registry file of $(( (large_size + 524288) / 1048576 )) MB, 100,000 keys" "$large_t" "$large_m"
printf '%-58s %12s %11s kB\n' "    the same run, registry of the Outlook keys alone" "$outlook_t" "$outlook_m"
printf '%-58s %12s\n' "(e) run on a key nested 20,000 deep: file size before" "$((deep_before / 1024)) kB"
printf '%-58s %12s\n' "    and after the run" "$((deep_after / 1024)) kB"
printf '%-58s %12s\n' "(f) run with 1,001 rules, 3,000 field conditions" "$rules_t"
printf '%-58s %12s\n' "    the same run without rules" "$norules_t"
printf '%-58s %12s\n' "(g) directory run, a group rule, the user in $found groups" "$member_t"
printf '%-58s %12s\n' "    the same run, a rule on the user's OU" "$below_t"
printf '%-58s %12s\n' "(h) directory run, 50 mailboxes, 3 signatures each" "${mailbox_t[50]}"
printf '%-58s %12s\n' "    the same run without MailboxSignatures" "$nomailbox_t"
printf '%-58s %12s\n' "    the same run, 100 mailboxes" "${mailbox_t[100]}"
printf '%-58s %12s\n' "    the same run, 200 mailboxes" "${mailbox_t[200]}"

# The targets: each line says whether it is met; make bench fails when one is not.
missed=0
target() {  # description, awk condition over the figures
  if LC_ALL=C awk "BEGIN { exit !($2) }"; then echo "target met:    $1"; else echo "target missed: $1"; missed=1; fi
}
echo
target "rendering 50 MB keeps memory flat (under 64 MB)" "$render_m < 65536"
target "rendering writes the bytes sed writes" "$same_bytes == 1"
target "rendering is at least 15 times as fast as sed" "$sed_t >= 15 * $render_t"
target "rendering with conditions keeps memory flat and writes sed's bytes" "$cond_m < 65536 && $cond_same == 1"
target "rendering with conditions is at least 15 times as fast as sed" "$condsed_t >= 15 * $cond_t"
target "a 20 MB registry file adds less than 1 s to a run" "\"$large_t\" ~ /^[0-9.]+$/ && $large_t - $outlook_t < 1"
target "a key nested 20,000 deep leaves the file at its size" "$deep_after < $deep_before + 4096"
target "1,000 rules with field conditions add less than 0.5 s to a run" "$rules_t - $norules_t < 0.5"
target "500 nested groups add less than 1 s to a directory run" "$found == 500 && $member_t - $below_t < 1"
target "50 mailboxes add less than 1 s to a directory run" "${mailbox_files[50]} == 150 && ${mailbox_t[50]} - $nomailbox_t < 1"
target "200 mailboxes take at most 2.2 times as long as 100" "${mailbox_files[100]} == 300 && ${mailbox_files[200]} == 600 && ${mailbox_t[200]} <= 2.2 * ${mailbox_t[100]}"
exit "$missed"
