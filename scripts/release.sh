#!/usr/bin/env bash
# Makes the two release artefacts in dist/, from Release builds with the tests off:
#   quorvel_VERSION-1_amd64.deb    quorvel-serve and quorvel-fetch with their man pages and
#                                  docs (CPack), built with Debian's hardening flags
#   quorvel-VERSION-win32.zip      quorvel.auo, readme.txt (Japanese, Shift-JIS, CRLF),
#                                  readme-en.txt (UTF-8, CRLF) and COPYING (CRLF)
# The read-mes are kept in UTF-8 in windows/readme/ and converted here.
#
# usage: scripts/release.sh [--check]
#   --check  then checks both: the zip's file list and read-mes; the DLL's export and import
#            tables against windows/quorvel.auo.exports and .imports, its dialog and version
#            resource; the .deb's fields and files; lintian with no error; and that the .deb
#            installs with apt-get, runs --version and removes (as root: it changes the
#            machine's packages, and removes quorvel again).
# Folders: build/release (native, also used by serve.sh), build/release-win32. Installs
# what it needs with scripts/install-deps.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=no
case "${1:-}" in
  "") ;;
  --check) check=yes ;;
  *) sed -n '2,16p' "$0" >&2; exit 2 ;;
esac

bash "$root/scripts/install-deps.sh" all

native="$root/build/release"
windows="$root/build/release-win32"
dist="$root/dist"
jobs=${QUORVEL_JOBS:-2}

# The man pages' and the changelog's dates and the zip's file times come from the last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$root" rev-parse HEAD >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi

echo "== Debian package (native Release build)"
hardening() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_WERROR=ON -DCMAKE_CXX_FLAGS="$(hardening CPPFLAGS) $(hardening CXXFLAGS)" \
  -DCMAKE_C_FLAGS="$(hardening CPPFLAGS) $(hardening CFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(hardening LDFLAGS)" >/dev/null
nice cmake --build "$native" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
[ -n "$version" ] || { echo "release.sh: no project version in $native/CMakeCache.txt" >&2; exit 1; }
rm -rf "$native/package"
(cd "$native" && cpack -G DEB -B "$native/package" >/dev/null)
mkdir -p "$dist"
rm -f "$dist"/quorvel_*.deb "$dist"/quorvel-*-win32.zip
deb_name="quorvel_${version}-1_$(dpkg --print-architecture).deb"
cp "$native/package/$deb_name" "$dist/"
deb="$dist/$deb_name"

echo "== plug-in zip (32-bit Windows Release build)"
cmake -S "$root" -B "$windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_WERROR=ON >/dev/null
nice cmake --build "$windows" -j "$jobs" --target quorvel_auo
stage="$windows/zip"
rm -rf "$stage" && mkdir -p "$stage"
crlf() { sed 's/\r$//; s/$/\r/'; }
readme() { sed "s/@VERSION@/$version/g" "$root/windows/readme/$1"; }
cp "$windows/windows/quorvel.auo" "$stage/"
readme readme-ja.txt | iconv -f UTF-8 -t SHIFT_JIS | crlf >"$stage/readme.txt"
readme readme-en.txt | crlf >"$stage/readme-en.txt"
crlf <"$root/COPYING" >"$stage/COPYING"
[ -z "${SOURCE_DATE_EPOCH:-}" ] || touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
zip_file="$dist/quorvel-$version-win32.zip"
(cd "$stage" && zip -q -X "$zip_file" quorvel.auo readme.txt readme-en.txt COPYING)

echo "release.sh: made $deb"
echo "release.sh: made $zip_file"
[ "$check" = yes ] || exit 0

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-release.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "== check: the zip"
unzip -l "$zip_file"
listed=$(unzip -Z1 "$zip_file" | sort | tr '\n' ' ')
[ "$listed" = "COPYING quorvel.auo readme-en.txt readme.txt " ] ||
  fail "the zip holds '$listed', not COPYING quorvel.auo readme-en.txt readme.txt"
unzip -q "$zip_file" -d "$scratch/zip"
# Decoded from Shift-JIS, readme.txt is the UTF-8 source with CRLF line ends, line for line;
# a UTF-8 or LF file does not decode to that.
if ! iconv -f SHIFT_JIS -t UTF-8 "$scratch/zip/readme.txt" >"$scratch/readme-ja.txt"; then
  fail "readme.txt is not Shift-JIS"
elif ! readme readme-ja.txt | crlf | cmp -s - "$scratch/readme-ja.txt"; then
  fail "readme.txt decoded from Shift-JIS differs from windows/readme/readme-ja.txt with CRLF"
fi
readme readme-en.txt | crlf | cmp -s - "$scratch/zip/readme-en.txt" ||
  fail "readme-en.txt differs from windows/readme/readme-en.txt with CRLF"
for text in readme.txt readme-en.txt COPYING; do
  if LC_ALL=C grep -q $'[^\r]$' "$scratch/zip/$text" ||
    [ "$(tail -c 2 "$scratch/zip/$text" | od -An -tx1)" != " 0d 0a" ]; then
    fail "$text has a line that does not end in CRLF"
  fi
done
cmp -s "$windows/windows/quorvel.auo" "$scratch/zip/quorvel.auo" ||
  fail "the zip's quorvel.auo is not the one just built"

echo "== check: quorvel.auo's exports, imports, dialog and version resource"
python3 "$root/windows/tests/check_plugin_binary.py" i686-w64-mingw32-objdump \
  "$scratch/zip/quorvel.auo" --exports "$root/windows/quorvel.auo.exports" \
  --imports "$root/windows/quorvel.auo.imports" --version "$version" ||
  fail "quorvel.auo's binary"

echo "== check: the .deb's fields and files"
dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = quorvel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version-1" ] || fail "Version is '$(field Version)', not $version-1"
[ "$(field Section)" = video ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
case "$(field Depends)" in
  *libc6*liblzo2-2*zlib1g*) ;;
  *) fail "Depends '$(field Depends)' lacks what dpkg-shlibdeps finds (libc6, liblzo2-2, zlib1g)" ;;
esac
dpkg-deb --contents "$deb" | awk '{ print $6 }' >"$scratch/files"
for file in ./usr/bin/quorvel-serve ./usr/bin/quorvel-fetch \
  ./usr/share/man/man1/quorvel-serve.1.gz ./usr/share/man/man1/quorvel-fetch.1.gz \
  ./usr/share/doc/quorvel/copyright ./usr/share/doc/quorvel/changelog.Debian.gz \
  ./usr/share/doc/quorvel/README.md ./usr/share/doc/quorvel/programs.md; do
  grep -qxF "$file" "$scratch/files" || fail "the .deb has no $file"
done

echo "== check: lintian"
if ! lintian --fail-on error "$deb"; then
  fail "lintian reports errors"
fi

echo "== check: install, run, remove"
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@"; }
if apt_get install "$deb" >"$scratch/install.log" 2>&1; then
  for program in quorvel-fetch quorvel-serve; do
    said=$("/usr/bin/$program" --version) || fail "$program --version exited $?"
    echo "$said"
    [ "$said" = "$program $version" ] || fail "$program --version says '$said'"
  done
  [ -s /usr/share/man/man1/quorvel-fetch.1.gz ] || fail "no man page of quorvel-fetch installed"
  apt_get remove quorvel >"$scratch/remove.log" 2>&1 || { cat "$scratch/remove.log"; fail "apt-get remove quorvel"; }
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' quorvel 2>/dev/null || true)
  case "$status" in
    "" | un*) echo "installed, ran and removed $deb_name" ;;
    *) fail "quorvel is still '$status' after apt-get remove" ;;
  esac
  [ ! -e /usr/bin/quorvel-fetch ] || fail "/usr/bin/quorvel-fetch is left after apt-get remove"
else
  cat "$scratch/install.log"
  fail "apt-get install $deb"
fi

if [ "$failures" -ne 0 ]; then
  echo "release.sh: $failures check(s) failed" >&2
  exit 1
fi
echo "release.sh: every check of $deb_name and $(basename "$zip_file") passed"
