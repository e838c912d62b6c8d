# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Sourced by the burn benchmarks: make_cd_image PATH MIB makes (or keeps, when one of about
# that size is there) a CD image of MIB MiB that the loaders accept: ISO 9660 with an El
# Torito record and one large file of random bytes.
make_cd_image() {
  local path=$1 mib=$2 tree=$1.tree
  if [ -f "$path" ] && [ "$(stat -c %s "$path")" -ge $(((mib - 8) << 20)) ] &&
     [ "$(stat -c %s "$path")" -le $((mib << 20)) ]; then return; fi
  echo "making a ${mib} MiB CD image: $path"
  rm -rf "$tree"
  mkdir -p "$tree/boot"
  head -c 2048 /dev/zero | tr '\0' 'b' >"$tree/boot/boot.img"
  head -c $(((mib - 4) << 20)) /dev/urandom >"$tree/data.bin"
  xorriso -as mkisofs -quiet -iso-level 3 -R -J -b boot/boot.img -c boot/boot.cat \
    -no-emul-boot -boot-load-size 4 -o "$path" "$tree"
  rm -rf "$tree"
}
