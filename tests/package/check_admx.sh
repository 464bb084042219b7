#!/bin/bash
# The administrative template: QVNStartLog.admx and its en-US/QVNStartLog.adml
# are well-formed XML and agree with each other and with the module:
# every $(string.X) and $(presentation.X) the ADMX names is defined in the
# ADML, every text box of a presentation is an element of each policy that
# uses it, every category and supportedOn reference is defined, and every
# policy writes the module's value name under the module's key (the machine
# policy for 64-bit Windows: the key of the 32-bit view).
#   check_admx.sh ADMX ADML MODULE_LOOKUP_CPP
set -uo pipefail
admx=$1 adml=$2 lookup=$3
status=0
fail() { echo "FAIL: $*"; status=1; }

xmllint --noout "$admx" "$adml" || exit 1
# XPath on the documents, namespaces aside.
q() { xmllint --xpath "$2" "$1" 2>/dev/null; }
values() { q "$1" "$2" | grep -o '"[^"]*"' | tr -d '"'; }  # the attributes selected
count() { q "$1" "count($2)"; }

# The module's key and value name, as win/lookup.cpp spells them.
module_key=$(sed -n 's/^constexpr char kSettingsKey\[\] = "\(.*\)";$/\1/p' "$lookup" | sed 's/\\\\/\\/g')
module_value=$(sed -n 's/^constexpr char kValueName\[\] = "\(.*\)";$/\1/p' "$lookup")
[ -n "$module_key" ] && [ -n "$module_value" ] || { echo "FAIL: key or value name not found in $lookup"; exit 1; }
wow64_key="Software\\WOW6432Node\\${module_key#Software\\}"
echo "module: key '$module_key', value '$module_value'"

P="//*[local-name()='policy']"
for ref in $(grep -o '\$(string\.[^)]*)' "$admx" | sort -u); do
  id=${ref#\$(string.}
  id=${id%)}
  [ "$(count "$adml" "//*[local-name()='stringTable']/*[local-name()='string'][@id='$id']")" = 1 ] ||
    fail "string $id: not defined once in the ADML"
done
for ref in $(grep -o '\$(presentation\.[^)]*)' "$admx" | sort -u); do
  id=${ref#\$(presentation.}
  id=${id%)}
  [ "$(count "$adml" "//*[local-name()='presentation'][@id='$id']")" = 1 ] ||
    fail "presentation $id: not defined once in the ADML"
done
for ref in $(values "$admx" "//*[local-name()='parentCategory']/@ref"); do
  [ "$(count "$admx" "//*[local-name()='category'][@name='$ref']")" = 1 ] || fail "category $ref: not defined"
done
for ref in $(values "$admx" "$P/*[local-name()='supportedOn']/@ref"); do
  [ "$(count "$admx" "//*[local-name()='definition'][@name='$ref']")" = 1 ] ||
    fail "supportedOn $ref: not defined"
done

names=$(values "$admx" "$P/@name")
[ -n "$names" ] || fail "no policies"
[ "$(sort <<<"$names" | uniq -d)" = "" ] || fail "policy names not unique"
for name in $names; do
  p="$P[@name='$name']"
  class=$(values "$admx" "$p/@class")
  key=$(values "$admx" "$p/@key")
  echo "policy $name ($class): $key"
  case $name in
  *Machine64) [ "$class:$key" = "Machine:$wow64_key" ] || fail "$name: not the 32-bit view's machine key" ;;
  *Machine32) [ "$class:$key" = "Machine:$module_key" ] || fail "$name: not the machine key" ;;
  *User) [ "$class:$key" = "User:$module_key" ] || fail "$name: not the per-user key" ;;
  *) fail "$name: which key it should write is unknown" ;;
  esac
  # The one thing a policy writes: the module's value, a string.
  [ "$(count "$admx" "$p/*[local-name()='elements']/*")" = 1 ] || fail "$name: not exactly one element"
  [ "$(values "$admx" "$p/*[local-name()='elements']/*[local-name()='text']/@valueName")" = "$module_value" ] ||
    fail "$name: its text element does not write $module_value"
  [ "$(count "$admx" "$p/*[local-name()='elements']/*[@key]") + $(count "$admx" "$p[@valueName]")" = "0 + 0" ] ||
    fail "$name: writes under another key or another value"
  # Each control of its presentation names an element of this policy.
  presentation=$(values "$admx" "$p/@presentation" | sed 's/^\$(presentation\.\(.*\))$/\1/')
  for ref in $(values "$adml" "//*[local-name()='presentation'][@id='$presentation']/*/@refId"); do
    [ "$(count "$admx" "$p/*[local-name()='elements']/*[@id='$ref']")" = 1 ] ||
      fail "$name: presentation $presentation shows $ref, which is not an element"
  done
done
[ $status = 0 ] && echo "ADMX and ADML agree"
exit $status
