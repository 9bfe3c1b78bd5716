#!/usr/bin/env bash
# usage: check_bundle.sh BUNDLE TREE SIGN_TOOL
# The bundle copied to a new folder runs from there: no ELF file of bin/ or lib/ names a path of
# TREE (the source and build tree) in its strings or dynamic section, its search paths are only
# $ORIGIN or $ORIGIN/../lib, `--version` runs without a display, and the window shows its main
# page.
# Its bundle.sig is the signature of the release key the build trusts (SIGN_TOOL verify).
set -euo pipefail
bundle="$1"
tree="$(cd "$2" && pwd)"
sign_tool="$3"
here="$(cd "$(dirname "$0")" && pwd)"
moved="$(mktemp -d /tmp/qln-moved-XXXXXX)"
trap 'rm -rf "$moved"' EXIT
cp -a "$bundle" "$moved/Quillon copy"
copy="$moved/Quillon copy"

failures=0
fail() { echo "check_bundle: $*" >&2; failures=$((failures + 1)); }
elves=0
for file in "$copy"/bin/* "$copy"/lib/*; do
  [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  elves=$((elves + 1))
  name="${file#"$copy"/}"
  strings -a "$file" | grep -F "$tree" >/dev/null && fail "$name holds the path $tree"
  readelf -d "$file" | grep -F "$tree" >/dev/null && fail "$name links by a path of $tree"
  readelf -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p' | tr ':' '\n' |
    grep -v -x -e '$ORIGIN' -e '$ORIGIN/../lib' >/dev/null &&
    fail "$name searches outside the bundle"
done
[ "$elves" -ge 2 ] || fail "found $elves ELF files in bin/ and lib/"

"$sign_tool" verify "$copy" >/dev/null || fail "bundle.sig does not match the build's key"
version="$(env -u DISPLAY "$copy/bin/quillon" --version)"
[ "$(head -n 1 <<<"$version")" = "Quillon 1.0.1" ] || fail "--version printed: $version"
"$here/window_opens.sh" "$copy/bin/quillon" || fail "the copy did not show its window"
[ "$failures" -eq 0 ] && echo "check_bundle: the bundle runs from $copy"
exit "$failures"
