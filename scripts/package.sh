#!/usr/bin/env bash
# Builds what users install, from an optimised build in build/package:
#   build/package/install/Quillon           the bundle (`cmake --install`)
#   build/package/quillon_<version>_<arch>.deb
#   build/package/quillon-<version>-linux-<arch>.tar.gz
# and checks them: the bundle runs from a copy elsewhere, every program folder is signed, the
# desktop entry and the AppStream metainfo validate, lintian finds no error or warning in the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQLN_TESTS=OFF
nice -n 10 cmake --build "$build" -j "${JOBS:-2}"
rm -rf "$build/install"
cmake --install "$build" --prefix "$build/install/Quillon" --strip
cmake --build "$build" --target package

tests/package/check_bundle.sh "$build/install/Quillon" . "$build/tools/quillon-sign/quillon-sign"
# The program folders inside the .deb (signed again with its mark) and the tarball.
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$build"/quillon_*.deb "$unpacked"
tar -xzf "$build"/quillon-*.tar.gz -C "$unpacked"
"$build/tools/quillon-sign/quillon-sign" verify "$unpacked/opt/quillon"
"$build/tools/quillon-sign/quillon-sign" verify "$unpacked/Quillon"

desktop-file-validate packaging/app.quillon.free.desktop
appstreamcli validate --no-net packaging/app.quillon.free.metainfo.xml
lintian --fail-on error,warning "$build"/quillon_*.deb
echo "package: $(ls "$build"/quillon_*.deb "$build"/quillon-*.tar.gz | tr '\n' ' ')"
