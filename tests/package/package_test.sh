#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Quorvane developers
# Makes the Debian package from the build, unpacks it into a clean folder and runs the
# programs from there; checks what it holds (never GRUB4DOS's images), its dependencies,
# its desktop files and manual page, and that lintian finds no error in it.
# Usage: package_test.sh BUILD_DIR VERSION [GRUB4DOS_FOLDER]
set -euo pipefail
build=$1
version=$2
grub4dos=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  echo "FAILED: cpack could not make the package" >&2
  exit 1
}
deb="$work/out/quorvane_${version}_amd64.deb"
[ -f "$deb" ] || { echo "FAILED: no $deb" >&2; ls "$work/out" >&2; exit 1; }

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"

# What the package holds, and what it must never hold.
for path in /usr/bin/quorvane /usr/bin/quorvane-cli /usr/share/quorvane/index.html \
  /usr/share/quorvane/NTBOOT.7z /usr/share/quorvane/quorvane.qss \
  /usr/share/polkit-1/actions/org.quorvane.quorvane.policy \
  /usr/share/applications/org.quorvane.Quorvane.desktop \
  /usr/share/icons/hicolor/scalable/apps/org.quorvane.Quorvane.svg \
  /usr/share/metainfo/org.quorvane.Quorvane.metainfo.xml \
  /usr/share/man/man1/quorvane.1.gz /usr/share/man/man1/quorvane-cli.1.gz \
  /usr/share/bash-completion/completions/quorvane-cli \
  /usr/share/doc/quorvane/copyright /usr/share/doc/quorvane/changelog.gz; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -E '(^|/)(grldr|grldr\.mbr)$' "$work/contents"; then
  fail "the package carries GRUB4DOS's boot images"
fi
if grep -E '/resources/|/desktop/' "$work/contents"; then
  fail "the package carries the build's folders"
fi

depends=$(dpkg-deb -f "$deb" Depends)
tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//' >"$work/depends"
for package in p7zip-full ntfs-3g dosfstools fdisk mtools pkexec libqt6widgets6 libssl3; do
  grep -qx "$package" "$work/depends" || fail "Depends lacks $package: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for package in qemu-system-x86 qemu-system-gui ovmf; do
  [[ "$recommends" == *"$package"* ]] || fail "Recommends lacks $package: $recommends"
done

# The installed programs, run from the clean folder.
out=$("$root/usr/bin/quorvane-cli" --version) || fail "quorvane-cli --version failed"
[ "$out" = "quorvane-cli $version" ] || fail "quorvane-cli --version said: $out"
out=$("$root/usr/bin/quorvane" --version) || fail "quorvane --version failed"
[ "$out" = "quorvane $version" ] || fail "quorvane --version said: $out"
drives_out() {
  local first
  first=$(head -n 1 "$work/drives")
  [[ "$first" == "DRIVE "* || "$first" == "No USB drives found." ]] ||
    fail "$1: quorvane-cli drives printed: $(cat "$work/drives")"
}
"$root/usr/bin/quorvane-cli" drives >"$work/drives" || fail "quorvane-cli drives failed"
drives_out "as root"
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  chmod 755 "$work"
  runuser -u nobody -- "$root/usr/bin/quorvane-cli" drives >"$work/drives" ||
    fail "quorvane-cli drives failed without root"
  drives_out "without root"
else
  echo "skipped: quorvane-cli drives without root (needs root to switch to the user nobody)"
fi
# The installed program finds the archive library and installs the boot images.
if [ -n "$grub4dos" ] && [ -f "$grub4dos/grldr" ]; then
  "$root/usr/bin/quorvane-cli" setup-boot-images --from "$grub4dos" --to "$work/images" ||
    fail "setup-boot-images from $grub4dos failed"
  cmp -s "$grub4dos/grldr" "$work/images/grldr" || fail "grldr was not installed as it is"
else
  echo "skipped: setup-boot-images from the package (no GRUB4DOS images at hand)"
fi

# The policy lets pkexec run exactly the installed program, asking once per session.
policy="$root/usr/share/polkit-1/actions/org.quorvane.quorvane.policy"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/bin/quorvane</annotate>' \
  "$policy" || fail "the policy does not name /usr/bin/quorvane"
grep -q '<allow_active>auth_admin_keep</allow_active>' "$policy" ||
  fail "the policy does not keep the authorisation"

# The manual page covers every option the help of quorvane-cli names.
man_text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/quorvane.1.gz" 2>"$work/man-warnings")
[ ! -s "$work/man-warnings" ] || fail "the manual page has warnings: $(cat "$work/man-warnings")"
for option in $("$root/usr/bin/quorvane-cli" --help | grep -o -- '--[a-z-]*' | sort -u) \
  $("$root/usr/bin/quorvane" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -q -- "$option" <<<"$man_text" || fail "the manual page does not mention $option"
done
# and every loader type by the name the help gives it.
"$root/usr/bin/quorvane-cli" --help | sed -n '/^Loader types:/,/^$/p' |
  sed -n 's/^  \([0-9]\)  \(.*\)$/\1 \2/p' >"$work/loaders"
[ -s "$work/loaders" ] || fail "quorvane-cli --help lists no loader types"
while read -r code name; do
  grep -qE "^ +$code +$name\$" <<<"$man_text" ||
    fail "the manual page does not list loader type $code as \"$name\""
done <"$work/loaders"
for command in drives burn verify test-boot setup-boot-images; do
  grep -q -- "$command" <<<"$man_text" || fail "the manual page does not mention $command"
done

appstreamcli validate-tree --no-net "$root" >"$work/appstream" 2>&1 ||
  fail "appstreamcli validate-tree: $(cat "$work/appstream")"

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 ||
    fail "lintian: $(grep -v 'root privileges' "$work/lintian")"
  grep -v 'root privileges' "$work/lintian" || true
else
  fail "lintian is not installed (scripts/setup-debian.sh installs it)"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) of the package failed" >&2
  exit 1
fi
echo "package $deb: all checks passed"
