#!/bin/bash
# The unpacked POSIX package at work: the sample settings file, installed
# machine-wide with its path pointed at a temporary log, and the packed
# (stripped) QVNStartLog.so, started by qvnhost.
#   start_posix_package.sh PACKAGE_ROOT QVNHOST
set -euo pipefail
root=$1 host=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sample="$root/Quillvane v2.conf"
settings="$tmp/xdg/Harlowick Systems/Quillvane v2.conf"
mkdir -p "$(dirname "$settings")"
# The sample sets StartLogFile once; only that line's path is replaced.
[ "$(grep -c '^StartLogFile=' "$sample")" = 1 ] || { echo "FAIL: the sample sets StartLogFile not once"; exit 1; }
sed "s|^StartLogFile=.*|StartLogFile=$tmp/starts.log|" "$sample" >"$settings"

XDG_CONFIG_DIRS="$tmp/xdg" XDG_CONFIG_HOME="$tmp/no-user-settings" COMPUTERNAME=WS-017 \
  "$host" "$root/QVNStartLog.so" start end start
log=$(cat -A "$tmp/starts.log")
echo "$log"
pattern='^WS-017\^I[0-9]{2}/[0-9]{2}/[0-9]{2}\^I[0-9]{2}:[0-9]{2}:[0-9]{2}\^M\$$'
[ "$(grep -cE "$pattern" <<<"$log")" = 2 ] && [ "$(wc -l <<<"$log")" = 2 ] ||
  { echo "FAIL: expected two start records"; exit 1; }
