# What scripts/test and scripts/bench share: sourced, with `packages` set to
# the Debian packages the caller needs.

step() { printf '\n== %s\n' "$*"; }

install_missing() {
  local missing=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  step "installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The compatibility tests run the module in hosts that switched to these
# locales (their date forms differ from the C locale's; Turkish has its own
# case of i).
generate_locales() {
  local name
  for name in de_DE tr_TR; do
    locale -a | grep -x "$name.utf8" >/dev/null || localedef -i "$name" -f UTF-8 "$name.UTF-8"
  done
}

# Wine's loader is an i386 program. Where the kernel runs none (32-bit
# emulation switched off), binfmt_misc hands them to qemu-user.
enable_i386_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return
  step "this kernel runs no i386 programs: running them through qemu-user"
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'ok installed'; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  fi
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] ||
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$binfmt/register"
  /usr/lib/wine/wine --version >/dev/null
}
