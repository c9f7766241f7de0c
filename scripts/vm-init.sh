#!/bin/busybox sh
# The init of the emulated PC that scripts/run-in-vm.sh boots: mounts the host's own root
# read-only over virtio-9p, puts tmpfs where programs write, mounts the one writable share at
# its own host path, runs the job that the runner left there, keeps its exit code beside it
# and powers off. The kernel hands quorvel_share=PATH of its command line to this script's
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
for dir in tmp run root home var/tmp; do
  mount -t tmpfs -o mode=1777 tmpfs "/newroot/$dir"
done
chmod 700 /newroot/root
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
