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
#      and that 200 take at most 2.2 times as long as 100;
#  (i) the audit (/AUDIT) of a company of 10,000 users in PostgreSQL and a
#      slapd: into a folder on a RAM disk against one /SIMULATE process per
#      user, onto the disk against a program that only writes the same files,
#      and its peak memory against that of an audit of 1,000 users.
# At the end, the targets of the figures are checked; a missed one fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$PWD/build/linux/quillmark"
floor_exe="$PWD/build/linux/quillmark-write-floor"
work="$PWD/build/bench"
rm -rf "$work"; mkdir -p "$work"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# What the end of the bench undoes (servers, a RAM disk), in order.
on_exit=()
cleanup() { local c; for c in "${on_exit[@]}"; do eval "$c" >/dev/null 2>&1 || true; done; on_exit=(); }
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# A slapd of its own on loopback with the tests' directory schema, loaded from
# an LDIF; its port in slapd_port.
start_slapd() {  # folder, suffix, LDIF, further lines of slapd.conf
  slapd_port=$(free_port)
  mkdir -p "$1/db"
  printf 'include %s\nmodulepath /usr/lib/ldap\nmoduleload back_mdb\ndatabase mdb\nsuffix "%s"\ndirectory %s\n%s\n' \
    "$PWD/tests/fixtures/ldap/ad-user.schema" "$2" "$1/db" "${4:-}" > "$1/slapd.conf"
  /usr/sbin/slapadd -q -f "$1/slapd.conf" -l "$3"
  /usr/sbin/slapd -h "ldap://127.0.0.1:$slapd_port/" -f "$1/slapd.conf" -d 0 >/dev/null 2>&1 &
  on_exit+=("kill $!")
  for i in $(seq 1 100); do ldapsearch -x -H "ldap://127.0.0.1:$slapd_port/" -b "" -s base >/dev/null 2>&1 && break; sleep 0.1; done
}

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
mkdir -p "$groups/Vorlagen" "$groups/AppData"
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
start_slapd "$groups" "dc=bench,dc=test" "$groups/groups.ldif"
port=$slapd_port
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
cleanup

# (i) the audit of a company of 10,000 users, in PostgreSQL and in a slapd of
# its own: 20 departments as groups (the three sales groups inside the group
# "Vertrieb"), every user's manager the head of the department (the heads'
# the managing director), two rules (a group and a city) and the manager's
# name in the signature. Measured: the audit into a folder on a RAM disk
# against one /SIMULATE process per user (200 of them, every 50th user,
# scaled to 10,000), the audit onto the disk against a program that writes
# the same files from memory, and the audit's peak memory for 10,000 users
# against 1,000.
company="$work/company"
mkdir -p "$company/Vorlagen" "$company/db" "$company/pg"
python3 - "$company" <<'PY'
import sys
company = sys.argv[1]
users = 10000
first = ["Anna", "Ben", "Clara", "Dieter", "Elif", "Frank", "Greta", "Hans", "Ilse", "Jörg", "Katarzyna",
         "Lukas", "Marie", "Niklas", "Özlem", "Paul", "Renate", "Sven", "Tanja", "Uwe"]
last = ["Müller", "Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker", "Schulz", "Hoffmann",
        "Koch", "Richter", "Klein", "Wolf", "Schröder", "Neumann", "Schwarz", "Zimmermann", "Braun", "Krüger",
        "Hofmann", "Hartmann", "Lange", "Schmitt", "Werner", "Krause", "Meier", "Lehmann", "Schmid", "Schulze"]
departments = ["Vertrieb Nord", "Vertrieb Süd", "Vertrieb Export", "Einkauf", "Entwicklung", "Konstruktion",
               "Fertigung", "Qualität", "Logistik", "Lager", "Personal", "Buchhaltung", "Controlling", "Recht",
               "IT", "Marketing", "Service", "Montage", "Schulung", "Geschäftsleitung"]
cities = [("80331", "München", "Marienplatz 1"), ("20095", "Hamburg", "Mönckebergstraße 7"),
          ("80-831", "Gdańsk", "ul. Długa 12"), ("D02", "Dublin", "Grafton Street 7")]
ascii = str.maketrans({"ä": "ae", "ö": "oe", "ü": "ue", "ß": "ss", "Ä": "Ae", "Ö": "Oe", "Ü": "Ue"})
base = "dc=firma,dc=test"
rows, entries = [], []
heads = {}
for nr in range(1, users + 1):
    vn, nn = first[nr % len(first)], last[(nr * 7) % len(last)]
    name = ("%s%s%05d" % (vn[0], nn, nr)).translate(ascii).lower()
    dept = departments[nr % len(departments)] if nr > 1 else "Geschäftsleitung"
    plz, city, street = cities[(nr // 7) % len(cities)]
    mail = "%s.%s%d@firma.test" % (vn.translate(ascii).lower(), nn.translate(ascii).lower(), nr)
    phone = "+49 89 %07d" % nr
    mobile = "+49 171 %07d" % nr if nr % 3 else ""
    fax = "+49 89 %07d-9" % nr if nr % 2 else ""
    cn = "%s %s %05d" % (vn, nn, nr)
    dn = "cn=%s,ou=Leute,%s" % (cn, base)
    if dept not in heads:
        heads[dept] = dn
    manager = heads["Geschäftsleitung"] if heads[dept] == dn else heads[dept]
    rows.append("\t".join([str(nr), name, vn, nn, vn[0] + nn[0], "Dr." if nr % 17 == 0 else "",
                           phone, fax, mobile, mail, plz, city, street, dept, "Firma Feinmechanik GmbH"]))
    entry = ["dn: " + dn, "objectClass: user", "objectCategory: person", "cn: " + cn,
             "sAMAccountName: " + name, "givenName: " + vn, "sn: " + nn, "displayName: %s %s" % (vn, nn),
             "title: " + ("Leitung " + dept if heads[dept] == dn else "Sachbearbeitung " + dept),
             "department: " + dept, "telephoneNumber: " + phone, "mail: " + mail]
    if manager != dn:
        entry.append("manager: " + manager)
    entries.append((dept, dn, "\n".join(entry) + "\n"))
with open(company + "/benutzer.tsv", "w", encoding="utf-8") as f:
    f.write("\n".join(rows) + "\n")
with open(company + "/firma.ldif", "w", encoding="utf-8") as f:
    f.write("dn: %s\nobjectClass: domain\ndc: firma\n\n" % base)
    for ou in ("Leute", "Gruppen"):
        f.write("dn: ou=%s,%s\nobjectClass: organizationalUnit\nou: %s\n\n" % (ou, base, ou))
    for _, _, text in entries:
        f.write(text + "\n")
    for dept in departments:
        f.write("dn: cn=%s,ou=Gruppen,%s\nobjectClass: groupOfNames\ncn: %s\n" % (dept, base, dept))
        f.write("".join("member: %s\n" % dn for d, dn, _ in entries if d == dept) + "\n")
    f.write("dn: cn=Vertrieb,ou=Gruppen,%s\nobjectClass: groupOfNames\ncn: Vertrieb\n" % base)
    f.write("".join("member: cn=%s,ou=Gruppen,%s\n" % (d, base) for d in departments[:3]) + "\n")
PY

# The templates: a standard signature with the company logo, a sales one, a
# reply one and the short one the office in Gdańsk answers with.
for t in standard vertrieb antwort kurz; do
  printf '<html><head><meta charset="windows-1252"></head><body>\r\n<table><tr><td><img src="%s_logo.gif"></td>\r\n<td><b>@FULLNAME@</b><br>\r\n@SIGNTITLE@<br>\r\n@USERDEF1@, @USERDEF2@<br>\r\nTelefon @PHONE@<br>\r\nFax @FAX@<br>\r\n@IF MOBILE@\r\nMobil @MOBILE@<br>\r\n@ENDIF@\r\n<a href="mailto:@EMAIL@">@EMAIL@</a><br>\r\n@STREET@, @POSTCODE@ @CITY@<br>\r\n@IF MANAGER_USERDEF3@\r\nVorgesetzte(r): @MANAGER_USERDEF3@<br>\r\n@ENDIF@\r\n</td></tr></table>\r\n</body></html>\r\n' "$t" > "$company/Vorlagen/$t.htm"
  printf '{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\r\n\\f0\\fs20 {\\b @FULLNAME@}\\par\r\n@SIGNTITLE@\\par\r\n@USERDEF1@, @USERDEF2@\\par\r\nTelefon @PHONE@\\par\r\nFax @FAX@\\par\r\n@IF MOBILE@\r\nMobil @MOBILE@\\par\r\n@ENDIF@\r\n@EMAIL@\\par\r\n@STREET@, @POSTCODE@ @CITY@\\par\r\n}\r\n' > "$company/Vorlagen/$t.rtf"
  printf -- '-- \r\n@FULLNAME@\r\n@SIGNTITLE@\r\n@USERDEF1@, @USERDEF2@\r\nTelefon @PHONE@\r\nFax     @FAX@\r\n@IF MOBILE@\r\nMobil   @MOBILE@\r\n@ENDIF@\r\n@EMAIL@\r\n@STREET@, @POSTCODE@ @CITY@\r\n' > "$company/Vorlagen/$t.txt"
  python3 -c 'import sys; sys.stdout.buffer.write(b"GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")' > "$company/Vorlagen/${t}_logo.gif"
done

# PostgreSQL (a cluster of its own on loopback, filled with one COPY) and a
# slapd (the LDIF loaded with slapadd, indexed as a domain controller is).
# PostgreSQL refuses to run as root: then it runs as the account "postgres".
pg_bin=/usr/lib/postgresql/15/bin
as_postgres=()
[ "$(id -u)" -ne 0 ] || { chown postgres: "$company/pg"; as_postgres=(runuser -u postgres --); }
pg_port=$(free_port)
"${as_postgres[@]}" "$pg_bin/initdb" -D "$company/pg/data" -U quillmark --auth=trust -E UTF8 --locale=C.UTF-8 >/dev/null
"${as_postgres[@]}" "$pg_bin/postgres" -D "$company/pg/data" -p "$pg_port" -c listen_addresses=127.0.0.1 \
  -k "$company/pg" -c fsync=off >"$company/pg/server.log" 2>&1 &
on_exit+=("${as_postgres[*]} $pg_bin/pg_ctl stop -s -m immediate -D '$company/pg/data'")
for i in $(seq 1 100); do "$pg_bin/pg_isready" -q -h 127.0.0.1 -p "$pg_port" && break; sleep 0.1; done
psql_company() { psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$pg_port" -U quillmark -d postgres "$@"; }
psql_company -c "CREATE TABLE benutzer (nr integer PRIMARY KEY, benutzername text UNIQUE, vorname text,
  nachname text, kuerzel text, titel text, telefon text, fax text, mobil text, email text, plz text, ort text,
  strasse text, abteilung text, firma text)"
psql_company -c "\\copy benutzer FROM '$company/benutzer.tsv' WITH (FORMAT text, NULL '')"
start_slapd "$company" "dc=firma,dc=test" "$company/firma.ldif" \
  "maxsize 1073741824
index objectClass,sAMAccountName,member eq"
ldap_port=$slapd_port

# One configuration for the logons, the previews and the audit; the PC has
# Outlook 2016 with one account in its profile.
python3 - "$company/registry.reg" <<'PY'
import sys
office = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook"
accounts = office + "\\Profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676"
lines = ["Windows Registry Editor Version 5.00", "",
         "[HKEY_CLASSES_ROOT\\Outlook.Application\\CurVer]", '@="Outlook.Application.16"', "",
         "[%s]" % office, '"DefaultProfile"="Outlook"', "", "[%s]" % accounts,
         '"{ED475418-B0D6-11D2-8C3B-00104B2A6676}"=hex:00,00,00,02', "",
         "[%s\\00000002]" % accounts, '"Account Name"="konto@firma.test"', ""]
open(sys.argv[1], "w", encoding="utf-16-le").write("\ufeff" + "\r\n".join(lines) + "\r\n")
PY
audit_ini() {  # file, the query's condition
  {
    printf '[Main]\r\nTemplateFolder=%s\r\n' "$(echo "$company/Vorlagen" | tr / '\\')"
    printf 'FixedSignType=standard\r\nFixedSignTypeReply=antwort\r\nModernOutlook=1\r\nEscapeValues=1\r\n'
    printf 'DropEmptyLines=1\r\nTemplateConditions=1\r\nManagerData=1\r\nEscapeUserName=1\r\n'
    printf 'DatabaseConnection=Provider=MSDASQL;Extended Properties="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%s;Database=postgres;Uid=quillmark"\r\n' "$pg_port"
    printf "UserSelect=SELECT * FROM benutzer WHERE benutzername = '%%USERNAME%%'\r\n"
    printf 'AuditSelect=SELECT benutzername FROM benutzer %s ORDER BY nr\r\n' "$2"
    printf 'AuditRequire=Phone,EMail,Mobile\r\n'
    printf 'LDAPBaseObjectDN=127.0.0.1:%s/dc=firma,dc=test\r\n' "$ldap_port"
    printf '[FieldMapping]\r\nFirstName=vorname\r\nLastName=nachname\r\nInitials=kuerzel\r\nTitle=titel\r\n'
    printf 'SignTitle1=*title\r\nPhone=telefon\r\nFax=fax\r\nMobile=mobil\r\nEMail=email\r\nPostcode=plz\r\n'
    printf 'City=ort\r\nStreet=strasse\r\nUserDef1=abteilung\r\nUserDef2=firma\r\nUserDef3=*displayName\r\n'
    printf '[Rule1]\r\nMemberOf=Vertrieb\r\nSignType=vertrieb\r\n[Rule2]\r\nCity=Gda*\r\nSignTypeReply=kurz\r\n'
  } > "$1"
}
audit_ini "$company/firma.ini" ""
audit_ini "$company/firma1000.ini" "WHERE nr <= 1000"

# The audit's folder on a RAM disk: a tmpfs of its own when the bench runs as
# root, else one below /dev/shm.
ram="$work/ram"
mkdir -p "$ram"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=16g tmpfs "$ram" 2>/dev/null; then
  on_exit+=("umount '$ram'")
else
  ram=$(mktemp -d /dev/shm/quillmark-bench.XXXXXX)
  on_exit+=("rm -rf '$ram'")
fi
# One audit into a fresh folder: "seconds peak-kB"; its summary in $work/audit.txt.
audit_run() {  # configuration, folder
  rm -rf "$2"
  sync
  QUILLMARK_REGISTRY="$company/registry.reg" APPDATA="$company/AppData" \
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$exe" "/INI:$(echo "$1" | tr / '\\')" \
    "/AUDIT:$(echo "$2" | tr / '\\')" > "$work/audit.txt" 2>&1 || true
  tail -1 "$work/time.txt"  # after "Command exited with non-zero status 1" when a user's run fails
}
# The number of users the last audit's summary names.
audited() { sed -n 's/^Benutzer: \([0-9]*\),.*/\1/p' "$work/audit.txt" | head -1 | grep . || echo 0; }
median3() {  # command... -> the median seconds and the median peak of three runs
  for i in 1 2 3; do "$@"; done > "$work/runs.txt"
  echo "$(cut -d' ' -f1 "$work/runs.txt" | median) $(cut -d' ' -f2 "$work/runs.txt" | median)"
}
mkdir -p "$company/AppData"
read -r ram_t ram_m < <(median3 audit_run "$company/firma.ini" "$ram/audit")
ram_users=$(audited)
cp "$work/audit.txt" "$work/audit-summary.txt"
read -r ram1000_t ram1000_m < <(median3 audit_run "$company/firma1000.ini" "$ram/audit")
ram1000_users=$(audited)
# Onto the disk, every audit and every floor writes into a folder of its own
# that no earlier run used and nothing is removed between them: ext4 passes
# over the inodes of the files deleted in the last minutes before it gives out
# a new one, so a run right after the removal of 110,000 files pays for that
# removal (between 12 and 45 s where the writing takes 3). The audit and the
# floor take turns, and each is timed twice: until its last write, and until
# what it wrote is on the disk (a sync of the file system after the last
# write; until then the files are in memory, as on the RAM disk).
audit_disk_run() {  # run number -> "seconds-on-disk seconds-written"
  local start written end
  sync
  start=$(date +%s.%N)
  QUILLMARK_REGISTRY="$company/registry.reg" APPDATA="$company/AppData" "$exe" \
    "/INI:$(echo "$company/firma.ini" | tr / '\\')" "/AUDIT:$(echo "$company/audit-$1" | tr / '\\')" \
    > "$work/audit.txt" 2>&1 || true
  written=$(date +%s.%N)
  sync -f "$company/audit-$1"
  end=$(date +%s.%N)
  LC_ALL=C awk -v a="$start" -v w="$written" -v e="$end" 'BEGIN { printf "%.2f %.2f\n", e - a, w - a }'
}
for i in 1 2 3; do
  audit_disk_run "$i" >> "$work/disk-audit.txt"
  disk_users=$(audited)
  sync
  # "seconds-written seconds-on-disk", turned round as the audit's are.
  "$floor_exe" "$company/audit-$i" "$company/floor-$i" 2>/dev/null | awk '{ print $2, $1 }' >> "$work/disk-floor.txt" || true
done
disk_t=$(cut -d' ' -f1 "$work/disk-audit.txt" | median)
disk_written_t=$(cut -d' ' -f2 "$work/disk-audit.txt" | median)
writefloor_t=$(cut -d' ' -f1 "$work/disk-floor.txt" | median)
writefloor_written_t=$(cut -d' ' -f2 "$work/disk-floor.txt" | median)
floor_same=0
diff -rq "$company/audit-1" "$company/floor-1" >/dev/null 2>&1 && floor_same=1
# One /SIMULATE process per user, every 50th user of the list (the database
# finds the Windows user, the directory the /ADUSER one), into the RAM disk.
sample=$(psql_company -At -c "SELECT benutzername FROM benutzer WHERE nr % 50 = 1 ORDER BY nr")
simulate_each() {
  for user in $sample; do
    USERNAME="$user" QUILLMARK_REGISTRY="$company/registry.reg" APPDATA="$company/AppData" \
      "$exe" "/INI:$(echo "$company/firma.ini" | tr / '\\')" "/ADUSER:$user" \
      "/SIMULATE:$(echo "$ram/simulate/$user" | tr / '\\')" /DEBUG:LOG >/dev/null 2>&1 || true
  done
}
rm -rf "$ram/simulate"
sync
start=$(date +%s.%N)
simulate_each
simulate_t=$(LC_ALL=C awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
simulated=$(ls "$ram/simulate"/*/index.htm 2>/dev/null | wc -l)
cleanup

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
printf '%-58s %12s %11s kB\n' "(i) audit of $ram_users users into a RAM disk (median of 3)" "$ram_t" "$ram_m"
printf '%-58s %12s\n' "    $simulated /SIMULATE processes, one per user" "$simulate_t"
LC_ALL=C awk -v s="$simulate_t" -v n="$simulated" -v a="$ram_t" 'BEGIN {
  if (n > 0) printf "%-58s %12.2f\n    ratio %.1f\n", "    the same scaled to 10,000 users", s * 10000 / n, s * 10000 / n / a }'
printf '%-58s %12s\n' "    audit of $disk_users users onto the disk (median of 3)" "$disk_t"
printf '%-58s %12s\n' "    floor: the same files written from memory" "$writefloor_t"
printf '%-58s %12s\n' "    the audit until its last write, files still in memory" "$disk_written_t"
printf '%-58s %12s\n' "    the floor until its last write, files still in memory" "$writefloor_written_t"
printf '%-58s %12s %11s kB\n' "    audit of $ram1000_users users into a RAM disk" "$ram1000_t" "$ram1000_m"

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
target "the audit of 10,000 users is at least 20 times as fast as a /SIMULATE per user" \
  "$ram_users == 10000 && $simulated == 200 && $simulate_t * 10000 / $simulated >= 20 * $ram_t"
target "the audit onto the disk takes at most twice the floor's time" \
  "$disk_users == 10000 && $floor_same == 1 && $disk_t <= 2 * $writefloor_t"
target "the audit's peak memory for 10,000 users is at most 1.5 times that for 1,000" \
  "$ram_users == 10000 && $ram1000_users == 1000 && $ram_m <= 1.5 * $ram1000_m"
exit "$missed"
