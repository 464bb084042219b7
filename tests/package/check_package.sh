#!/bin/bash
# Packs the build with CPack and checks the package as an administrator gets
# it: its name, every file in it and nothing else, and CR LF line ends where
# Windows tools read the files. Leaves the unpacked package in OUT/contents
# for the tests that use its files.
#   check_package.sh BUILD_DIR OUT PACKAGE_FILE_NAME FILE... [-- CRLF_FILE...]
set -euo pipefail
build=$1 out=$2 package=$3
shift 3
expected=() crlf=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do expected+=("$1"); shift; done
[ $# -gt 0 ] && shift && crlf=("$@")

rm -rf "$out"
mkdir -p "$out/contents"
cpack --config "$build/CPackConfig.cmake" -B "$out/packages" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; exit 1; }

fail() { echo "FAIL: $*"; status=1; }
status=0
made=$(cd "$out/packages" && ls -p | grep -v /) || true
[ "$made" = "$package" ] || { fail "packages made: ${made:-none}; expected $package"; exit 1; }
file="$out/packages/$package"
top=${package%.zip}
top=${top%.tar.gz}

case $package in
*.zip)
  unzip -l "$file"
  listing=$(unzip -Z1 "$file")
  unzip -q "$file" -d "$out/contents"
  ;;
*.tar.gz)
  tar tzvf "$file"
  listing=$(tar tzf "$file")
  tar xzf "$file" -C "$out/contents"
  ;;
esac
actual=$(grep -v '/$' <<<"$listing" | sort)
wanted=$(printf "$top/%s\n" "${expected[@]}" | sort)
if [ "$actual" != "$wanted" ]; then
  fail "the package's files differ from those expected:"
  diff <(echo "$wanted") <(echo "$actual") || true
fi

for name in "${crlf[@]}"; do
  path="$out/contents/$top/$name"
  [ -s "$path" ] || { fail "$name: missing or empty"; continue; }
  if LC_ALL=C grep -q -v $'\r$' "$path" || [ "$(tail -c 2 "$path" | od -An -c | tr -d ' ')" != '\r\n' ]; then
    fail "$name: a line does not end in CR LF"
  fi
done
exit $status
