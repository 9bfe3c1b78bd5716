#!/usr/bin/env bash
# Installs the .deb of scripts/package.sh on a fresh Debian 12 in a chroot, as users do
# (`apt install ./quillon_*.deb`), then runs `quillon --version` there and `quillon` on a private
# Xvfb until its window shows the main page. Needs root, debootstrap and Debian's package
# registry; without them it says why and skips (exit 0). The first run caches the minimal system
# in build/package-test/debian12.tar and the packages apt fetches; each run unpacks it afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
here="$PWD"
skip() { echo "package-test: SKIPPED: $*"; exit 0; }

[ "$(id -u)" -eq 0 ] || skip "a chroot needs root (no container runtime is used)"
scripts/install-deps.sh package
command -v debootstrap >/dev/null || skip "debootstrap is not installed"
deb="$(ls build/package/quillon_*.deb 2>/dev/null | head -n 1 || true)"
[ -n "$deb" ] || { echo "package-test: no .deb: run scripts/package.sh first" >&2; exit 1; }

work="$here/build/package-test"
base="$work/debian12.tar"
mkdir -p "$work"
if [ ! -s "$base" ]; then
  rm -rf "$work/base"
  debootstrap --variant=minbase bookworm "$work/base" http://deb.debian.org/debian ||
    skip "debootstrap could not reach Debian's package registry"
  tar -C "$work/base" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf "$work/base"
fi

root="$(mktemp -d "$work/root-XXXXXX")"
# The processes started in the chroot (the web engine's helpers outlive quillon briefly).
in_chroot() {
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && echo "${proc#/proc/}"
  done
  return 0
}
cleanup() {
  for _ in $(seq 50); do [ -z "$(in_chroot)" ] && break; sleep 0.1; done
  for pid in $(in_chroot); do kill -9 "$pid" 2>/dev/null || true; done
  sleep 0.5
  for m in var/cache/apt/archives tmp/.X11-unix dev/shm proc sys ""; do
    umount -l "$root/$m" 2>/dev/null || true
  done
  # Never delete through a mount that is still there: /tmp/.X11-unix is this system's.
  if grep -q -F " $root" /proc/self/mountinfo; then
    echo "package-test: $root is still mounted; left in place" >&2
  else
    rm -rf --one-file-system "$root" || echo "package-test: $root was not wholly removed" >&2
  fi
}
trap cleanup EXIT
# The device nodes debootstrap made; nothing of this system's /dev is shared. The web engine's
# sandbox wants "/" to be a mount point and the X server's socket file, which it binds in.
tar -C "$root" -xf "$base"
mkdir -p "$root/dev/shm" "$root/tmp/.X11-unix"
[ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
mount --bind "$root" "$root"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
# Downloaded packages are kept for the next run.
mkdir -p "$work/archives/partial"
mount --bind "$work/archives" "$root/var/cache/apt/archives"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount -t tmpfs shm "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"

echo "== apt install ./$(basename "$deb")"
chroot "$root" apt-get update -qq
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt install -y -q \
  -o APT::Keep-Downloaded-Packages=true "./tmp/$(basename "$deb")" \
  >"$work/apt.log" 2>&1 || { tail -n 30 "$work/apt.log"; exit 1; }

echo "== quillon --version"
version="$(chroot "$root" env -u DISPLAY quillon --version)"
echo "$version"
[ "$(head -n 1 <<<"$version")" = "Quillon 1.0.1" ]
for f in /usr/share/applications/app.quillon.free.desktop /usr/share/man/man1/quillon.1.gz \
         /usr/share/metainfo/app.quillon.free.metainfo.xml /opt/quillon/packaged-by \
         /usr/share/icons/hicolor/scalable/apps/app.quillon.free.svg; do
  [ -f "$root$f" ] || { echo "package-test: $f is missing" >&2; exit 1; }
done

echo "== quillon on a private Xvfb"
QLN_ROOT="$root" tests/package/window_opens.sh chroot "$root" quillon
echo "package-test: PASSED"
