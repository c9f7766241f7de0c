#!/usr/bin/env bash
# Runs one command inside an emulated x86-64 PC whose kernel runs 32-bit programs, for a
# machine whose own kernel does not (no IA32 emulation, and no /dev/kvm either): QEMU with
# software emulation boots Debian's own kernel, downloaded (not installed) with apt-get, over
# a small busybox initramfs (scripts/vm-init.sh). The guest's root is this machine's own /,
# shared read-only over virtio-9p, with copy-on-write layers in memory over /tmp, /root,
# /home and /var/tmp (what the guest writes there stays in the guest) and an empty /run and
# /dev/shm; SHARE_DIR is shared writable at its own path, so absolute paths in build trees
# and ctest files work unchanged, and what the command writes there is kept. The command runs as root in SHARE_DIR's view of the world
# with a clean environment (PATH, HOME, LANG and the --env values); its output is shown as
# it comes, and its exit code is this script's.
#
# usage: scripts/run-in-vm.sh [options] SHARE_DIR -- COMMAND [ARG...]
#   --env NAME=VALUE   set NAME in the command's environment (repeatable)
#   --cpus N           processors of the emulated PC (default: this machine's, at most 4)
#   --memory MIB       its memory (default 4096)
#   --timeout SECONDS  power the PC off after this long and fail (default 3600)
# environment: QUORVEL_VM_CACHE  where the kernel and initramfs are kept
#                                (default build/vm of the checkout)
#
# SHARE_DIR must not change on this side while the PC runs (the guest caches it); the host's
# other files are only read. Exit codes: the command's; 124 on the timeout; 125 when the PC
# could not be made or did not run the command.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  sed -n '13,19p' "$0" >&2
  exit 2
}

job_env=()
cpus=$(($(nproc) < 4 ? $(nproc) : 4))
memory=4096
limit=3600
while [ $# -gt 0 ]; do
  case "$1" in
    --env) job_env+=("$2"); shift 2 ;;
    --cpus) cpus=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) break ;;
    -*) usage ;;
    *) [ -z "${share:-}" ] || usage; share=$(realpath "$1"); shift ;;
  esac
done
[ -n "${share:-}" ] && [ "${1:-}" = -- ] && [ $# -ge 2 ] || usage
shift
fail() {
  echo "run-in-vm.sh: $*" >&2
  exit 125
}
[ -d "$share" ] || fail "no directory $share"
# The kernel's command line carries the share's path: it must be one word.
case "$share" in *[[:space:]]*) fail "the share's path must not contain white space: $share" ;; esac
command -v qemu-system-x86_64 >/dev/null ||
  fail "qemu-system-x86_64 is not installed (scripts/install-deps.sh all installs it)"

cache=${QUORVEL_VM_CACHE:-$root/build/vm}
mkdir -p "$cache"

# The module's dependencies, from the depends= field of its .modinfo (the package ships no
# modules.dep): prints the module's file after those of the modules it needs, once each.
modules_dir=
declare -A module_file=() module_listed=()
list_with_dependencies() {
  local name=$1 file dependency
  [ -z "${module_listed[$name]:-}" ] || return 0
  module_listed[$name]=1
  file=${module_file[$name]:-}
  [ -n "$file" ] || fail "the kernel package has no module $name"
  for dependency in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
    list_with_dependencies "$dependency"
  done
  echo "$file"
}

# Kernel and initramfs, made once per kernel version and init script.
make_boot_files() {
  local package work stamp
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
  [ -n "$package" ] || fail "apt-cache does not know linux-image-amd64 (run apt-get update)"
  stamp="$package $(sha256sum "$root/scripts/vm-init.sh" | cut -c1-16)"
  if [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$stamp" ]; then
    return 0
  fi
  echo "run-in-vm.sh: making the emulated PC's kernel and initramfs ($package)" >&2
  work=$(mktemp -d "$cache/make.XXXXXX")
  # Into a private folder, which the _apt user cannot enter; a mirror in the middle of a
  # sync may fail once.
  local attempt
  for attempt in 1 2 3; do
    (cd "$work" && apt-get download -q -o APT::Sandbox::User=root "$package" busybox-static \
      >/dev/null) && break
    [ "$attempt" -lt 3 ] || fail "cannot download $package and busybox-static"
    sleep $((attempt * 5))
  done
  dpkg-deb -x "$work"/linux-image-*.deb "$work/kernel"
  dpkg-deb -x "$work"/busybox-static_*.deb "$work/busybox"

  local image="$work/initramfs" file name
  mkdir -p "$image/bin" "$image/modules"
  cp "$work/busybox/bin/busybox" "$image/bin/busybox"
  cp "$root/scripts/vm-init.sh" "$image/init"
  chmod 755 "$image/init"
  modules_dir=$(echo "$work"/kernel/lib/modules/*)
  while IFS= read -r file; do
    name=$(basename "$file" .ko)
    module_file[${name//-/_}]=$file
  done < <(find "$modules_dir" -name '*.ko')
  # virtio-pci for the devices, 9p over virtio for the shares, overlay for the writable
  # layers over them, virtio-rng so that programs asking for random bytes early do not wait
  # for entropy.
  local order="$work/order"
  for name in virtio_pci 9pnet_virtio 9p overlay virtio_rng; do
    list_with_dependencies "$name" >>"$order"
  done
  while IFS= read -r file; do
    cp "$file" "$image/modules/"
    basename "$file" >>"$image/modules/order"
  done <"$order"
  (cd "$image" && find . | "$work/busybox/bin/busybox" cpio -o -H newc 2>/dev/null | gzip -1) \
    >"$cache/initramfs.gz"
  cp "$work"/kernel/boot/vmlinuz-* "$cache/vmlinuz"
  echo "$stamp" >"$cache/stamp"
  rm -rf "$work"
}
make_boot_files

# The job: the command with its environment and working folder, for the guest's init.
job="$share/.run-in-vm"
rm -rf "$job"
mkdir -p "$job"
{
  echo 'set -e'
  for assignment in "${job_env[@]}"; do
    printf 'export %q\n' "$assignment"
  done
  printf 'cd %q\n' "$PWD"
  printf 'exec'
  printf ' %q' "$@"
  echo
} >"$job/job.sh"
console="$cache/console.log"
output="$cache/output.log"
: >"$output"

# -cpu qemu64, never max: QEMU 7.2's software emulation reads the frame of a 32-bit iret with
# a supervisor access, which SMAP (on in max) faults, so every 32-bit process would be killed;
# qemu64 is also faster here (glibc picks SSE2 copies rather than AVX2, which is slow to
# emulate).
qemu=(qemu-system-x86_64 -accel tcg,thread=multi -cpu qemu64 -smp "$cpus" -m "$memory"
  -M pc -nodefaults -no-user-config -display none -no-reboot -nic none
  -serial "file:$console" -serial "file:$output" -device virtio-rng-pci
  -virtfs "local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap"
  -virtfs "local,path=$share,mount_tag=share,security_model=none,multidevs=remap"
  -kernel "$cache/vmlinuz" -initrd "$cache/initramfs.gz"
  -append "console=ttyS0 quiet mitigations=off nokaslr panic=-1 tsc=reliable quorvel_share=$share")
started=$(date +%s)
status=0
timeout -k 10 "$limit" "${qemu[@]}" </dev/null &
qemu_pid=$!
tail -n +1 -f --pid="$qemu_pid" "$output" || true
wait "$qemu_pid" || status=$?
echo "run-in-vm.sh: the emulated PC ran $(($(date +%s) - started)) s" >&2
if [ "$status" -eq 124 ]; then
  echo "run-in-vm.sh: timed out after $limit s; the guest's console is in $console" >&2
  exit 124
fi
if [ ! -f "$job/exit-code" ]; then
  echo "run-in-vm.sh: the emulated PC did not run the command (QEMU exit $status);" \
    "its console:" >&2
  tail -n 30 "$console" >&2
  exit 125
fi
exit "$(cat "$job/exit-code")"
