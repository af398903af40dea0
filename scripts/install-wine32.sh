#!/usr/bin/env bash
# 32-bit Wine, which runs the shipped i686 stub in scripts/test-windows.sh:
# Debian's wine32:i386 and, when the kernel cannot run i386 programs the way
# Wine needs, qemu's i386 emulator from backports, registered with binfmt_misc
# for i386 ELF files. Idempotent and quiet when all is in place; needs root
# (or sudo) only for what is missing. The registration is kernel state, gone
# after a reboot: run this before every test run (install-deps.sh and
# test-windows.sh do).
#
# SFX_I386_VIA_QEMU=1 takes the emulator route even where the kernel runs
# i386 programs itself, to try that route on such a machine.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() { echo "install-wine32: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

updated=""
update_once() {
  [ -n "$updated" ] || $sudo apt-get update -q || fail "apt-get update failed"
  updated=1
}
apt_install() {
  echo "Installing: $*" >&2
  update_once
  # Without recommendations: i386 Wine's would bring a 32-bit graphics and
  # sound stack a console program never loads, and qemu-user's would register
  # every emulator it has with binfmt_misc behind this script's back.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@" ||
    fail "apt-get install $* failed"
}

# A static i386 program of 169 bytes that does what 32-bit Wine needs from
# the kernel at every start: it writes a data segment into its own LDT
# (modify_ldt), loads it into %fs, reads through it and exits with status 7.
# A kernel without i386 support, or without LDT segments, fails it.
#   sub esp,16; user_desc {0, base 0x8048000, limit 0xfffff, 0x51} at [esp]
#   modify_ldt(1, esp, 16); mov fs,7; cmp dword fs:[0],"\x7fELF"
#   exit(equal ? 7 : 1)
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
probe=$probe_dir/probe
printf '%b' \
  '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00' \
  '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00' \
  '\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
  '\x00\x80\x04\x08\xa9\x00\x00\x00\xa9\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
  '\x83\xec\x10\xc7\x04\x24\x00\x00\x00\x00\xc7\x44\x24\x04\x00\x80\x04\x08' \
  '\xc7\x44\x24\x08\xff\xff\x0f\x00\xc7\x44\x24\x0c\x51\x00\x00\x00' \
  '\xb8\x7b\x00\x00\x00\xbb\x01\x00\x00\x00\x89\xe1\xba\x10\x00\x00\x00\xcd\x80' \
  '\xb8\x07\x00\x00\x00\x8e\xe0\x64\xa1\x00\x00\x00\x00\x3d\x7f\x45\x4c\x46\x75\x05' \
  '\xbb\x07\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' > "$probe"
chmod +x "$probe"
probe_passes() { local status=0; "$probe" 2>/dev/null || status=$?; [ "$status" -eq 7 ]; }

binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-i386
emulator=/usr/bin/qemu-i386
# The file as it is now; a registration made before the emulator was replaced
# (an upgrade) still runs the old one, as flag F opened it when registering.
stamp=/run/sfx-qemu-i386.binfmt
identity() { stat -L -c '%d:%i:%Y' "$emulator"; }

# i386 ELF executables and shared objects, any OS/ABI byte.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

registration_current() {
  [ -r "$entry" ] && [ -r "$stamp" ] || return 1
  local want_magic want_mask
  want_magic=$(printf '%b' "$magic" | od -An -tx1 | tr -d ' \n')
  want_mask=$(printf '%b' "$mask" | od -An -tx1 | tr -d ' \n')
  grep -qx enabled "$entry" && grep -qx "interpreter $emulator" "$entry" &&
    grep -qx 'flags: F' "$entry" && grep -qx "magic $want_magic" "$entry" &&
    grep -qx "mask $want_mask" "$entry" && [ "$(cat "$stamp")" = "$(identity)" ]
}

use_emulator() {
  # bookworm's own qemu (7.2) takes about a minute to start each 32-bit Wine
  # process; backports has one that takes a fraction of a second.
  # shellcheck source=/dev/null
  . /etc/os-release
  local suite=${VERSION_CODENAME:?no VERSION_CODENAME in /etc/os-release}-backports
  if ! grep -rqs -- "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The archive and key the machine already uses, from its deb822 entry for
    # the release itself.
    local sources=/etc/apt/sources.list.d/debian.sources uris signed_by
    read -r uris signed_by < <(awk -v release="$VERSION_CODENAME" '
      /^URIs:/ { uris = $2 } /^Signed-By:/ { key = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == release) found = 1 }
      /^$/ { if (found && uris != "") { print uris, key; exit } found = 0; uris = ""; key = "" }
      END { if (found && uris != "") print uris, key }' "$sources" 2>/dev/null) ||
      fail "no entry for $VERSION_CODENAME in $sources to take the archive for $suite from"
    echo "Adding $suite ($uris)" >&2
    {
      printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$uris" "$suite"
      [ -z "$signed_by" ] || printf 'Signed-By: %s\n' "$signed_by"
    } | $sudo tee "/etc/apt/sources.list.d/$suite.sources" >/dev/null
    updated=""
  fi
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  if ! installed qemu-user || dpkg --compare-versions "$version" lt 1:9; then
    apt_install -t "$suite" qemu-user
  fi
  [ -x "$emulator" ] || fail "qemu-user is installed but $emulator is missing"

  if ! mountpoint -q "$binfmt"; then
    $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || fail "cannot mount binfmt_misc at $binfmt"
  fi
  if ! registration_current; then
    echo "Registering $emulator for i386 programs (binfmt_misc)" >&2
    if [ -e "$entry" ]; then
      echo -1 | $sudo tee "$entry" >/dev/null || fail "cannot remove the old $entry"
    fi
    printf '%s' ":qemu-i386:M::$magic:$mask:$emulator:F" | $sudo tee "$binfmt/register" >/dev/null ||
      fail "cannot register $emulator with binfmt_misc"
    identity | $sudo tee "$stamp" >/dev/null
  fi
  probe_passes || fail "i386 programs do not run even through $emulator"
}

# Once the emulator is registered it stays the route: it answers the probe
# too, so the probe could not tell whether the kernel alone would do.
if [ "${SFX_I386_VIA_QEMU:-}" = 1 ] || [ -e "$entry" ] || ! probe_passes; then
  use_emulator
fi

# The emulator, if needed, is in place before the first i386 package is
# unpacked, so that anything i386 its installation runs can run.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture" >&2
  $sudo dpkg --add-architecture i386 || fail "dpkg --add-architecture i386 failed"
  updated=""
fi
installed wine32:i386 || apt_install wine32:i386
