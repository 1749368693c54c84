#!/usr/bin/env bash
# Installs the Debian packages (only the missing ones), the German locale and
# the ODBC drivers that a part of the work needs:
#   install-deps.sh demo     the linux program and its demo (make demo)
#   install-deps.sh preview  the demo and a browser for its screenshot (make preview)
#   install-deps.sh bench    the demo and the benchmarks' tools and servers (make bench)
#   install-deps.sh          everything: both builds, the tests, coverage and fuzzing (make check)
set -euo pipefail

# The linux build (compiler, CMake, Ninja, its libraries) and the demo (the
# SQLite ODBC driver and sqlite3 for its user database; slapd for the directory
# of its signatures per mailbox; the German locale).
demo=(
  cmake ninja-build g++ pkg-config make
  libglib2.0-dev libfltk1.3-dev libx11-dev unixodbc unixodbc-dev libldap-dev
  libsqliteodbc sqlite3
  locales
  slapd ldap-utils python3
)
profile="${1:-all}"
case "$profile" in
  demo) packages=("${demo[@]}") ;;
  preview) packages=("${demo[@]}" chromium) ;;
  bench) packages=("${demo[@]}" python3 time slapd ldap-utils postgresql odbc-postgresql) ;;
  all)
    packages=(
      "${demo[@]}"
      clang libclang-rt-14-dev python3 time
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
      g++-mingw-w64-i686-posix mingw-w64-i686-dev
      libgtest-dev gcovr
      odbc-postgresql postgresql
      slapd ldap-utils openssl
      wine wine64 libwine
      # The 32-bit exe runs under 32-bit Wine, whose ODBC and LDAP reach the
      # host's 32-bit unixODBC, ODBC drivers and libldap.
      wine32:i386 libwine:i386 libodbc2:i386 libsqliteodbc:i386 odbc-postgresql:i386
      libldap-2.5-0:i386
      xvfb xdotool xclip x11-utils imagemagick
      chromium libreoffice-writer-nogui
      # Signing, the MSI, and reading the version resource back (make sign, make msi).
      osslsigncode wixl msitools python3-pefile
    ) ;;
  *) echo "usage: $0 [demo|preview|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [[ " ${missing[*]}" == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests and the demo write German time stamps. The comparison of both
# builds runs Wine in locales of other ANSI code pages (1250, 1251, 1253, 1257,
# Japanese 932, and Georgian, which Wine gives UTF-8, 65001); without the
# host's locale Wine cannot name files outside ASCII.
wanted_locales=(de_DE)
[ "$profile" != all ] || wanted_locales+=(pl_PL ru_RU el_GR et_EE ja_JP ka_GE)
missing_locales=0
for name in "${wanted_locales[@]}"; do
  if ! locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8$"; then
    $SUDO sed -i "s/^# *$name.UTF-8 UTF-8/$name.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    missing_locales=1
  fi
done
[ "$missing_locales" -eq 0 ] || $SUDO locale-gen >/dev/null

# ODBC drivers by the names the connection translator uses.
register_driver() {  # name, driver library
  if ! odbcinst -q -d -n "$1" >/dev/null 2>&1 && [ -e "$2" ]; then
    printf '[%s]\nDescription=%s\nDriver=%s\nSetup=%s\n' "$1" "$1" "$2" "$2" > /tmp/qm-odbc-driver.ini
    $SUDO odbcinst -i -d -f /tmp/qm-odbc-driver.ini >/dev/null
  fi
}
register_driver SQLite3 /usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so
register_driver "PostgreSQL Unicode" /usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so
register_driver "PostgreSQL ANSI" /usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so
exit 0
