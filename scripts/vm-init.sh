#!/bin/busybox sh
# The init of the emulated PC that scripts/run-in-vm.sh boots: mounts the host's own root
# read-only over virtio-9p, lays a copy-on-write layer in memory over the folders programs
# write to, mounts the one writable share at its own host path, runs the job that the
# runner left there, keeps its exit code beside it and powers off. The kernel hands quorvel_share=PATH of its command line to this script's
# environment.
/bin/busybox mkdir -p /proc /sys /dev /newroot
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

say() { echo "vm-init: $*" >/dev/ttyS0; }
power_off() {
  sync
  poweroff -f
}

# The modules, in the dependency order the runner wrote them in.
while read -r module; do
  insmod "/modules/$module" || say "cannot load $module"
done </modules/order

nine_p="trans=virtio,version=9p2000.L,msize=512000,cache=loose"
if ! mount -t 9p -o "ro,$nine_p" root /newroot; then
  say "cannot mount the host's root"
  power_off
fi
# Where programs write: the host's folder seen through a copy-on-write layer in memory, so
# that a checkout under /tmp or /root is there at its own path and the host's files stay as
# they are. /run starts empty, as at boot.
mkdir -p /layers
mount -t tmpfs tmpfs /layers
for dir in tmp root home var/tmp; do
  layer="/layers/$(echo "$dir" | tr / -)"
  mkdir -p "$layer/upper" "$layer/work"
  mount -t overlay overlay -o "lowerdir=/newroot/$dir,upperdir=$layer/upper,workdir=$layer/work" \
    "/newroot/$dir" || mount -t tmpfs -o mode=1777 tmpfs "/newroot/$dir"
done
mount -t tmpfs -o mode=755 tmpfs /newroot/run
mount -t proc proc /newroot/proc
mount -t sysfs sysfs /newroot/sys
mount -t devtmpfs devtmpfs /newroot/dev
mkdir -p /newroot/dev/shm /newroot/dev/pts
# What udev would make: bash's process substitution opens /dev/fd/N.
ln -sf /proc/self/fd /newroot/dev/fd
ln -sf /proc/self/fd/0 /newroot/dev/stdin
ln -sf /proc/self/fd/1 /newroot/dev/stdout
ln -sf /proc/self/fd/2 /newroot/dev/stderr
mount -t tmpfs -o mode=1777 tmpfs /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
# A share under one of the tmpfs folders needs its mount point made there.
mkdir -p "/newroot$quorvel_share"
if ! mount -t 9p -o "$nine_p" share "/newroot$quorvel_share"; then
  say "cannot mount the share at $quorvel_share"
  power_off
fi

# The job's output goes to the second serial port, which the runner shows as it comes.
stty -F /dev/ttyS1 raw -echo
ip link set lo up
hostname quorvel-vm
job="$quorvel_share/.run-in-vm"
chroot /newroot /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
  LANG=C.UTF-8 TERM=dumb /bin/bash "$job/job.sh" </dev/null >/dev/ttyS1 2>&1
echo "$?" >"/newroot$job/exit-code"

# Whatever the job left running goes with it, before the share is unmounted.
kill -9 -1 2>/dev/null
sleep 1
sync
umount "/newroot$quorvel_share" || say "cannot unmount the share"
power_off
