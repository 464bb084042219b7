#!/bin/bash
# The packed .reg files imported with regedit into a fresh Wine prefix of
# their own, and the packed QVNStartLog.dll started by qvnhost.exe after each
# import. Each file's sample path is replaced by a log in a temporary folder;
# nothing else of the file is changed.
#
# The prefix is 32-bit Windows: one registry view, no WOW6432Node
# redirection. So QVNStartLog-machine-32bit-windows.reg, -user.reg and
# -remove.reg are tested at work; of QVNStartLog-machine.reg (64-bit Windows)
# only that its value lands under the key it names, and that 32-bit Windows
# does not read it.
#   deploy_reg.sh WINE_SCRIPT PREFIX PACKAGE_ROOT QVNHOST_EXE
set -uo pipefail
wine=$1 prefix=$2 root=$3 host=$4
files="$prefix.files"
rm -rf "$files"
mkdir -p "$files"
trap '"$wine" down "$prefix"; rm -rf "$files"' EXIT
"$wine" up "$prefix" || { echo "FAIL: no Wine prefix"; exit 1; }

status=0
fail() { echo "FAIL: $*"; status=1; }
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
key='Software\Harlowick Systems\Quillvane v2'
machine32="HKEY_LOCAL_MACHINE\\$key"
machine64='HKEY_LOCAL_MACHINE\Software\WOW6432Node\Harlowick Systems\Quillvane v2'
user="HKEY_CURRENT_USER\\$key"

# import FILE.reg [LOG]: imports a copy of FILE.reg whose StartLogFile path
# is LOG's Windows path (written the .reg way, backslashes doubled), or "".
import() {
  local name=$1 log=${2-}
  local value=""
  [ -n "$log" ] && value=$(winpath "$files/$log") && value=${value//\\/\\\\}
  V=$value perl -pe 's/^"StartLogFile"=".*"\r$/"StartLogFile"="$ENV{V}"\r/' \
    "$root/$name" >"$files/$name"
  if grep -q '^"StartLogFile"="' "$root/$name"; then
    [ "$(grep -c "^\"StartLogFile\"=\"${value//\\/\\\\}\"" "$files/$name")" = 1 ] ||
      fail "$name: no single StartLogFile path to replace"
  fi
  echo "== regedit /S $name ${log:+(StartLogFile: $log)}"
  "$wine" run "$prefix" regedit /S "$(winpath "$files/$name")" || fail "regedit $name"
}
start() {
  "$wine" run "$prefix" "$host" "$(winpath "$root/QVNStartLog.dll")" start >/dev/null ||
    fail "qvnhost start"
}
records() {  # records LOG: how many start records LOG holds (0: no LOG)
  [ -e "$files/$1" ] || { echo 0; return; }
  grep -cE $'^[^\t]+\t[0-9]{2}/[0-9]{2}/[0-9]{2}\t[0-9]{2}:[0-9]{2}:[0-9]{2}\r$' "$files/$1"
}
expect_records() {  # expect_records WHAT LOG COUNT...
  local what=$1
  shift
  while [ $# -gt 0 ]; do
    [ "$(records "$1")" = "$2" ] || fail "$what: $1 holds $(records "$1") records, expected $2"
    shift 2
  done
}
value_of() {  # value_of KEY NAME: the data of a REG_SZ value, or nothing
  "$wine" run "$prefix" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_SZ *//p"
}

import QVNStartLog-machine-32bit-windows.reg machine.log
start
expect_records "the machine-wide value (32-bit Windows)" machine.log 1

import QVNStartLog-user.reg user.log
start
expect_records "a per-user value besides" machine.log 1 user.log 1

import QVNStartLog-machine.reg machine64.log
[ "$(value_of "$machine64" StartLogFile)" = "$(winpath "$files/machine64.log")" ] ||
  fail "QVNStartLog-machine.reg: StartLogFile is not under $machine64"
start
expect_records "the machine-wide value for 64-bit Windows, on 32-bit Windows" \
  machine.log 1 user.log 2 machine64.log 0

# Quillvane's own values in the key are kept by the removal.
for k in "$machine32" "$machine64" "$user"; do
  "$wine" run "$prefix" reg add "$k" /v OwnSetting /t REG_SZ /d kept /f >/dev/null
done
import QVNStartLog-remove.reg
for k in "$machine32" "$machine64" "$user"; do
  [ -z "$(value_of "$k" StartLogFile)" ] || fail "QVNStartLog-remove.reg: StartLogFile still in $k"
  [ "$(value_of "$k" OwnSetting)" = kept ] || fail "QVNStartLog-remove.reg: other values of $k gone"
done
start
expect_records "after the removal" machine.log 1 user.log 2 machine64.log 0

# An empty per-user path, as README-admin.txt tells, switches the log off.
import QVNStartLog-machine-32bit-windows.reg machine.log
import QVNStartLog-user.reg
[ "$("$wine" run "$prefix" reg query "$user" /v StartLogFile | tr -d '\r' | grep -c 'StartLogFile *REG_SZ *$')" = 1 ] ||
  fail "the per-user value is not the empty string"
start
expect_records "an empty per-user value" machine.log 1 user.log 2

[ $status = 0 ] && echo "all .reg checks passed"
exit $status
