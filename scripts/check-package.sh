#!/usr/bin/env bash
# The clean-machine check of the Debian package: builds it, makes a fresh
# Debian 12 root with debootstrap, installs the package there with apt-get
# (which fetches its dependencies, and no recommended packages: Depends alone
# must be enough) and runs both programs from PATH.
# Needs root and the Debian mirror. Not part of `make test`: it takes minutes.
# Usage: check-package.sh [BUILD_DIR] [PHOTO.jpg]
# MIRROR overrides the mirror (default: the Debian mirror this machine uses).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
photo=${2:-$here/../shared/corpus/photos/architecture_grey.jpg}
[ -f "$photo" ] || photo=$here/docs/images/camera-hatching.jpg
photo=$(realpath "$photo")

[ "$(id -u)" -eq 0 ] || { echo "check-package: needs root (debootstrap, chroot, mount)" >&2; exit 1; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap

mirror=${MIRROR:-}
if [ -z "$mirror" ]; then
  # The first plain Debian archive among the machine's sources (either format).
  mirror=$( (cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
    2>/dev/null || true) | grep -oE '(https?|ftp)://[^ ]+/debian/?( |$)' | grep -v security | head -1 |
    tr -d ' ' || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}

stamp() { date +%s; }
t0=$(stamp)
echo "== building the package in $build"
cmake --build "$build" -j "$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/brellin_*.deb | head -1)
t1=$(stamp)
echo "package: $deb, $(stat -c %s "$deb") bytes (built in $((t1 - t0)) s)"
dpkg-deb -f "$deb" Depends | sed 's/^/Depends: /'
dpkg-deb -f "$deb" Installed-Size | sed 's/^/Installed-Size (KiB): /'

root=$(mktemp -d -p "${TMPDIR:-/var/tmp}" brellin-chroot.XXXXXX)
cleanup() {
  # sys too: a debootstrap that fails in its second stage can leave it mounted.
  for m in dev/pts dev proc sys; do
    mountpoint -q "$root/$m" && umount -l "$root/$m"
  done
  # Never delete through a mount that is still there.
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "check-package: mounts remain under $root; left in place" >&2
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT

echo "== debootstrap bookworm from $mirror into $root"
cache=$build/debootstrap-cache
mkdir -p "$cache"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$root" "$mirror" >"$build/debootstrap.log" 2>&1 ||
  { tail -20 "$build/debootstrap.log" >&2; exit 1; }
t2=$(stamp)
echo "debootstrap: $((t2 - t1)) s, $(du -sxm "$root" 2>/dev/null | cut -f1) MB"

mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$photo" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  DEBIAN_FRONTEND=noninteractive "$@"; }

echo "== apt-get install ./$(basename "$deb")"
in_root sh -c "cd /tmp && apt-get update -qq && apt-get install -y -qq --no-install-recommends ./$(basename "$deb")" \
  >"$build/chroot-install.log" 2>&1 || { tail -30 "$build/chroot-install.log" >&2; exit 1; }
t3=$(stamp)
echo "install with dependencies: $((t3 - t2)) s, root now $(du -sxm "$root" 2>/dev/null | cut -f1) MB"

echo "== the programs from PATH"
in_root sh -c "cd /tmp && cp $(basename "$photo") photo.jpg && command -v brellin-cli && command -v brellin &&
  brellin-cli render photo.jpg -o out.jpg && ls -l out.jpg && brellin --version &&
  brellin-cli styles | head -3 && man -w brellin-cli 2>/dev/null; true"
[ -s "$root/tmp/out.jpg" ] || { echo "check-package: render wrote no out.jpg" >&2; exit 1; }
in_root brellin --version >/dev/null || { echo "check-package: brellin --version failed" >&2; exit 1; }
# The desktop program really starts (finds a platform plugin and its fonts)
# and is still running when stopped.
rc=0
in_root sh -c "cd /tmp && QT_QPA_PLATFORM=offscreen timeout 15 brellin photo.jpg" >"$build/chroot-gui.log" 2>&1 || rc=$?
[ "$rc" -eq 124 ] || { cat "$build/chroot-gui.log" >&2; echo "check-package: brellin ended with $rc" >&2; exit 1; }
echo "brellin started on photo.jpg and kept running until stopped"
t4=$(stamp)
echo "check-package: passed in $((t4 - t0)) s"
