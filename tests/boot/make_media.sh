#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Builds the media of the boot tests into the folder OUT, from Debian's packages: the
# kernel of linux-image-amd64 (downloaded and unpacked, never installed), an initramfs
# with busybox whose /init (kit_init.sh) reports on the serial port, and ISO images of
# each layout the loaders know. A second run with the same scripts builds nothing.
#   make_media.sh OUT
# Exits 0 when the media are there, 3 when this machine cannot build them (the reason is
# the last line on standard error), anything else on a fault.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
unavailable() { echo "$*" >&2; exit 3; }

mkdir -p "$out"
exec 9>"$out/.lock"
flock 9
stamp=$(cat "$0" "$here/kit_init.sh" | sha256sum | cut -c1-16)
if [ -f "$out/ready" ] && [ "$(cat "$out/ready")" = "$stamp" ]; then exit 0; fi
rm -f "$out/ready"

for tool in apt-cache apt-get dpkg-deb cpio gzip xorriso grub-mkrescue mkfs.fat mcopy ntfs-3g; do
  command -v "$tool" >/dev/null || unavailable "$tool is not installed"
done
# The initramfs has no libraries for busybox: it must be the static one.
[ -x /bin/busybox ] && ! ldd /bin/busybox >/dev/null 2>&1 ||
  unavailable "busybox-static is not installed"
for f in /usr/lib/ISOLINUX/isolinux.bin /usr/lib/syslinux/modules/bios/ldlinux.c32 \
         /usr/lib/memtest86+/memtest86+x64.iso /usr/lib/grub/i386-pc/cdboot.img \
         /usr/lib/grub/x86_64-efi/linux.mod; do
  [ -f "$f" ] || unavailable "$f is missing (packages isolinux, syslinux-common, memtest86+, grub-pc-bin, grub-efi-amd64-bin)"
done

# The kernel and the modules the initramfs loads, from the package linux-image-amd64
# depends on. Kept across runs: it is the one download.
kernel_dir=$out/kernel
if [ ! -f "$kernel_dir/vmlinuz" ]; then
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
  [ -n "$package" ] || unavailable "apt-cache knows no linux-image-amd64 (run apt-get update)"
  rm -rf "$out/download"
  mkdir -p "$out/download"
  (cd "$out/download" && apt-get download -q "$package" >/dev/null 2>&1) ||
    unavailable "apt-get download $package failed: no package archive reachable"
  rm -rf "$kernel_dir.new"
  mkdir -p "$kernel_dir.new/tree"
  # Only the kernel and the module folders the initramfs draws from: the package
  # unpacks to some 400 MB.
  dpkg-deb --fsys-tarfile "$out"/download/"$package"_*.deb |
    tar -x -C "$kernel_dir.new/tree" --wildcards './boot/vmlinuz-*' \
      './lib/modules/*/kernel/drivers/ata' './lib/modules/*/kernel/drivers/scsi' \
      './lib/modules/*/kernel/drivers/block' './lib/modules/*/kernel/drivers/cdrom' \
      './lib/modules/*/kernel/fs' './lib/modules/*/kernel/lib' './lib/modules/*/kernel/block' \
      './lib/modules/*/kernel/crypto' './lib/modules/*/kernel/arch'
  cp "$kernel_dir.new"/tree/boot/vmlinuz-* "$kernel_dir.new/vmlinuz"
  mv "$kernel_dir.new"/tree/lib/modules/*/kernel "$kernel_dir.new/modules"
  rm -rf "$kernel_dir.new/tree" "$out/download" "$kernel_dir"
  mv "$kernel_dir.new" "$kernel_dir"
fi

# The initramfs: busybox, the modules for IDE disks and CDs, ISO 9660, FAT, loop devices
# and FUSE, and ntfs-3g with its libraries (as live systems carry it for NTFS sticks).
work=$out/work
rm -rf "$work"
mkdir -p "$work/root/bin" "$work/root/modules"
root=$work/root
cp /bin/busybox "$root/bin/busybox"
cp "$here/kit_init.sh" "$root/init"
chmod 755 "$root/init"
: >"$root/modules.order"
add_module() {
  local name=$1 file dep
  grep -qx "$name" "$root/modules.order" && return 0
  file=$(find "$kernel_dir/modules" -name "$name.ko" | head -n 1)
  [ -n "$file" ] || { echo "module $name is not in the kernel package" >&2; exit 1; }
  for dep in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$dep"
  done
  cp "$file" "$root/modules/$name.ko"
  echo "$name" >>"$root/modules.order"
}
for m in ata_piix ata_generic sd_mod sr_mod isofs loop fuse vfat nls_cp437 nls_iso8859-1 nls_utf8; do
  add_module "$m"
done
ntfs=$(command -v ntfs-3g)
mkdir -p "$root/usr/bin"
cp "$ntfs" "$root/usr/bin/ntfs-3g"
for lib in $(ldd "$ntfs" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -9 >"$work/initrd.img"

# A stand-in for a live system's file system: the squashfs magic and some padding.
squashfs=$work/filesystem.squashfs
{ printf 'hsqs'; head -c 65532 /dev/zero; } >"$squashfs"

iso_dir=$out/iso
rm -rf "$iso_dir"
mkdir -p "$iso_dir"
k=$kernel_dir/vmlinuz
i=$work/initrd.img

# Runs a command with its chatter kept back, shown only when it fails.
quietly() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; return 1; }; }
# tree NAME: a fresh folder for the files of one ISO.
tree() { rm -rf "$work/$1"; mkdir -p "$work/$1"; echo "$work/$1"; }
plain_iso() { quietly xorriso -as mkisofs -quiet -R -J -V "$2" -o "$iso_dir/$1" "$3"; }
isolinux_iso() {
  local t=$3
  mkdir -p "$t/isolinux"
  cp /usr/lib/ISOLINUX/isolinux.bin /usr/lib/syslinux/modules/bios/ldlinux.c32 "$t/isolinux/"
  printf '%s\n' "$4" >"$t/isolinux/isolinux.cfg"
  quietly xorriso -as mkisofs -quiet -R -J -V "$2" -o "$iso_dir/$1" \
    -b isolinux/isolinux.bin -c isolinux/boot.cat -no-emul-boot -boot-load-size 4 \
    -boot-info-table "$t"
}

# Ubuntu of the 16.04 era: casper/vmlinuz.efi and casper/initrd.lz.
t=$(tree ubuntu-old)
mkdir -p "$t/casper" "$t/.disk"
cp "$k" "$t/casper/vmlinuz.efi"; cp "$i" "$t/casper/initrd.lz"; cp "$squashfs" "$t/casper/"
echo "Kit Ubuntu 16.04 stand-in" >"$t/.disk/info"
plain_iso ubuntu-old.iso KIT_UBUNTU_OLD "$t"

# Current Ubuntu: casper/vmlinuz and casper/initrd.
t=$(tree ubuntu-current)
mkdir -p "$t/casper" "$t/.disk"
cp "$k" "$t/casper/vmlinuz"; cp "$i" "$t/casper/initrd"; cp "$squashfs" "$t/casper/"
echo "Kit Ubuntu 24.04 stand-in" >"$t/.disk/info"
plain_iso ubuntu-current.iso KIT_UBUNTU_NEW "$t"

# Clonezilla-like: live-boot's live/ folder, booted from the CD by isolinux.
t=$(tree clonezilla)
mkdir -p "$t/live"
cp "$k" "$t/live/vmlinuz"; cp "$i" "$t/live/initrd.img"; cp "$squashfs" "$t/live/"
isolinux_iso clonezilla-live.iso KIT_CLONEZILLA "$t" "default live
label live
  kernel /live/vmlinuz
  append initrd=/live/initrd.img boot=live union=overlay kit=clonezilla quiet"

# A utility CD booted by isolinux (El Torito, no emulation).
t=$(tree isolinux-cd)
mkdir -p "$t/boot"
cp "$k" "$t/boot/vmlinuz"; cp "$i" "$t/boot/initrd.img"
isolinux_iso isolinux-cd.iso KIT_ISOLINUX "$t" "default kit
label kit
  kernel /boot/vmlinuz
  append initrd=/boot/initrd.img kit=isolinux-cd quiet"

# memtest86+ as Debian ships it: floppy emulation for BIOS, EFI/BOOT/BOOTX64.EFI for UEFI.
cp /usr/lib/memtest86+/memtest86+x64.iso "$iso_dir/memtest86+x64.iso"

# A GRUB 2 rescue CD (BIOS and UEFI) with its menu on the screen and the serial port.
t=$(tree grub-rescue)
mkdir -p "$t/boot/grub" "$t/kit"
cp "$k" "$t/kit/vmlinuz"; cp "$i" "$t/kit/initrd.img"
cat >"$t/boot/grub/grub.cfg" <<'CFG'
serial --unit=0 --speed=115200
terminal_input console serial
terminal_output console serial
set timeout=2
menuentry "Kit kernel from a GRUB 2 CD" {
  linux /kit/vmlinuz kit=grub-rescue quiet
  initrd /kit/initrd.img
}
CFG
# Only the modules its menu needs: the whole set makes a 30 MB CD.
quietly grub-mkrescue --locales= --fonts= --themes= \
  --install-modules="linux normal iso9660 part_msdos part_gpt search configfile echo test serial terminal" \
  -o "$iso_dir/grub-rescue.iso" "$t"

cp "$i" "$out/initrd.img"
cp "$k" "$out/vmlinuz"
rm -rf "$work"
echo "$stamp" >"$out/ready"
