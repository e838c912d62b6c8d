#!/bin/busybox sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# /init of the boot tests' initramfs. It says on the first serial port that it runs and
# with which kernel command line, then looks for its medium the way a live system's
# initramfs does: the ISO file named by iso-scan/filename= (casper) or findiso= (live-boot)
# on any block device, loop-mounted; without one, a CD-like device that holds the live
# folder (casper/ or live/). It reports what it found and powers the machine off.
/bin/busybox mkdir -p /proc /sys /dev /tmp /mnt /iso /bin /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /etc && ln -sf /proc/mounts /etc/mtab
exec >/dev/ttyS0 2>&1 </dev/null
echo "KIT: init started"
echo "KIT: cmdline: $(cat /proc/cmdline)"

for module in $(cat /modules.order); do insmod "/modules/$module.ko" 2>/dev/null; done

iso=""
folder=""
for arg in $(cat /proc/cmdline); do
  case "$arg" in
    iso-scan/filename=*|findiso=*) iso="${arg#*=}" ;;
    boot=casper) folder=casper ;;
    boot=live) folder=live ;;
  esac
done

# Block devices and partitions, as the kernel lists them.
devices() {
  for d in /sys/class/block/*; do
    name=${d##*/}
    case "$name" in loop*|ram*) continue ;; esac
    [ -b "/dev/$name" ] && echo "/dev/$name"
  done
}

# Mounts device $1 read-only on $2 with any file system this initramfs reads.
mount_any() {
  mount -t iso9660 -o ro "$1" "$2" 2>/dev/null && return 0
  mount -t vfat -o ro "$1" "$2" 2>/dev/null && return 0
  ntfs-3g -o ro "$1" "$2" 2>/dev/null && return 0
  return 1
}

found=""
if [ -n "$folder" ]; then
  # Disks appear a moment after their drivers are loaded.
  tries=0
  while [ -z "$found" ] && [ $tries -lt 20 ]; do
    for dev in $(devices); do
      mount_any "$dev" /mnt || continue
      if [ -n "$iso" ]; then
        if [ -f "/mnt$iso" ] && mount -t iso9660 -o loop,ro "/mnt$iso" /iso 2>/dev/null; then
          [ -d "/iso/$folder" ] && found="the ISO $iso on $dev, with $folder/ inside"
          umount /iso
        fi
      elif [ -d "/mnt/$folder" ]; then
        found="$dev holds $folder/"
      fi
      umount /mnt 2>/dev/null || umount -l /mnt
      [ -n "$found" ] && break
    done
    [ -n "$found" ] && break
    tries=$((tries + 1))
    sleep 1
  done
  if [ -n "$found" ]; then
    echo "KIT: medium found: $found"
  else
    echo "KIT: medium not found (iso '$iso', folder '$folder'); devices: $(devices | tr '\n' ' ')"
  fi
fi
echo "KIT: done"
sync
poweroff -f
