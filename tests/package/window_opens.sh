#!/usr/bin/env bash
# usage: window_opens.sh COMMAND...
# Starts a private Xvfb and COMMAND on it (a quillon, maybe through chroot) with a data folder
# of its own, and succeeds once its window (titled "Quillon ...") is mapped and its main page
# has polled (the page's first status poll writes status.txt). QLN_ROOT is the folder the
# command sees as "/" (a chroot's), empty for this system.
set -euo pipefail
root="${QLN_ROOT:-}"
data="$(mktemp -d "$root/tmp/qln-window-XXXXXX")"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp +extension XTEST 3>"$data/display" \
  >/dev/null 2>&1 &
xvfb=$!
program=""
cleanup() {
  if [ -n "$program" ]; then kill "$program" 2>/dev/null || true; wait "$program" || true; fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" || true
  rm -rf "$data"
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$data/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$data/display")"

XDG_DATA_HOME="${data#"$root"}" "$@" >"$data/output" 2>&1 &
program=$!
for _ in $(seq 600); do
  window="$(xdotool search --onlyvisible --name '^Quillon' 2>/dev/null | head -n 1 || true)"
  if [ -n "$window" ] && [ -f "$data/Quillon/status.txt" ]; then
    echo "window $window shows the main page"
    exit 0
  fi
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
echo "no window with its main page within 60 s; the program said:" >&2
cat "$data/output" >&2
exit 1
