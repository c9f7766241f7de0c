#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs, only those that are missing: when everything
# is there it calls neither apt-get nor sudo, and it runs apt-get update only before the
# first install it really needs.
#   install-deps.sh serve    build and run quorvel-serve and quorvel-fetch (scripts/serve.sh)
#   install-deps.sh native   also the native tests, fuzzers, man pages and the Debian package
#                            (release.sh)
#   install-deps.sh all      also the 32-bit Windows cross build, Wine and the dialog test, the
#                            emulated PC for Wine, and the 32-bit Linux build (default)
set -euo pipefail

what=${1:-all}
case "$what" in
  serve | native | all) ;;
  *) echo "usage: install-deps.sh [serve|native|all]" >&2; exit 2 ;;
esac

# PACKAGE or PACKAGE:ARCH; a name without an architecture is this machine's own (or "all"),
# whatever other architectures have of it.
native_arch=$(dpkg --print-architecture)
installed() {
  local arches="$native_arch|all"
  case "$1" in *:*) arches=${1##*:} ;; esac
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$1" 2>/dev/null |
    grep -Eqx "($arches) installed"
}

as_root=()
updated=no
# Root (or sudo), the i386 architecture for "all" and fresh package indexes, once, before
# the first install that is needed.
prepare_apt() {
  [ "$updated" = no ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps.sh: run as root (it calls apt-get)" >&2; exit 1; }
    as_root=(sudo)
  fi
  if [ "$what" = all ]; then
    "${as_root[@]}" dpkg --add-architecture i386  # wine32 and the i686 libraries are i386 packages
  fi
  # A mirror in the middle of a sync can fail one index file; the others are still good, and
  # the install below fails plainly if a package is really missing. Retry, then go on.
  local attempt
  for attempt in 1 2 3; do
    if "${as_root[@]}" apt-get update -q; then updated=yes; return 0; fi
    sleep $((attempt * 5))
  done
  updated=yes
  echo "install-deps.sh: apt-get update reported errors; installing from the indexes it has" >&2
}

# apt_install [--no-install-recommends] PACKAGE...: installs those of the packages that are
# missing; fails as apt-get does.
apt_install() {
  local options=() missing=() package
  for package in "$@"; do
    case "$package" in
      -*) options+=("$package") ;;
      *) installed "$package" || missing+=("$package") ;;
    esac
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  prepare_apt
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${options[@]}" \
    "${missing[@]}"
}

# Building and running the two programs.
apt_install --no-install-recommends \
  cmake ninja-build g++ pkg-config liblzo2-dev zlib1g-dev libdeflate-dev libcli11-dev
[ "$what" != serve ] || exit 0

# Native tests and fuzzers (iproute2: ip and tc for scripts/bench-link.sh).
apt_install --no-install-recommends \
  clang libclang-rt-14-dev clang-format googletest libgtest-dev libgmock-dev libbenchmark-dev \
  ffmpeg python3 procps valgrind iproute2
# Man pages, the Debian package and its checks, the plug-in's zip (scripts/release.sh).
apt_install --no-install-recommends help2man dpkg-dev file lintian zip unzip
[ "$what" = all ] || exit 0

# 32-bit Windows cross build, then Wine with Recommends (the fonts and X libraries it uses).
apt_install g++-mingw-w64-i686 libz-mingw-w64-dev
if ! apt_install wine wine32:i386; then
  # test-windows.sh then says loudly that it cannot run the DLL here.
  echo "install-deps.sh: Wine (wine32:i386) cannot be installed from this machine's package" \
    "indexes" >&2
fi
# The dialog test: a virtual display, input driving, screenshots and a CJK font.
apt_install --no-install-recommends xvfb xauth xdotool imagemagick fonts-ipafont-gothic
# Where the kernel runs no 32-bit programs: an emulated PC for the Wine stage
# (scripts/run-in-vm.sh, which downloads Debian's kernel itself), and user-mode emulation for
# the 32-bit Linux build's tests (scripts/test-i686.sh), with its compilers and libraries.
apt_install --no-install-recommends qemu-system-x86 qemu-user
if ! apt_install --no-install-recommends g++-i686-linux-gnu libgtest-dev:i386 libgmock-dev:i386 \
  liblzo2-dev:i386 zlib1g-dev:i386 libdeflate-dev:i386; then
  # test-i686.sh then says loudly that it cannot build for i686 here.
  echo "install-deps.sh: the i386 libraries cannot be installed from this machine's package" \
    "indexes" >&2
fi
