#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A real drag under X with the openbox window manager: a row of Tarvo's preview pressed and carried
# by the pointer (xdotool) to a drop target of the test's own in another process, which copies what
# it gets. The row is unpacked only for that drop; closing the preview and quitting leave nothing of
# it behind. Pictures of the screen during the drag and after the drop go to the output folder.
# Usage: drag-out.sh TARVO DROP_TARGET OUTPUT_FOLDER   (exit 77: skipped, a tool is missing)
set -euo pipefail
tarvo=$1 target=$2 out=$3

for tool in xvfb-run xdotool openbox dbus-run-session import zip; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done
# Its own X server and session bus, so that nothing reaches the user's desktop.
if [[ -z ${TARVO_DRAG_INSIDE:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1280x860x24 -nolisten tcp" \
        env TARVO_DRAG_INSIDE=1 dbus-run-session -- bash "$0" "$@"
fi

work="$(mktemp -d /tmp/tarvo-drag-XXXXXX)"
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    [[ -f $HOME/tarvo.log ]] && sed 's/^/tarvo: /' "$HOME/tarvo.log"
    exit 1
}

export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export XDG_RUNTIME_DIR="$HOME/run" LANGUAGE=en
mkdir -p "$HOME/files/src" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Enough entries that the list fills the bottom of the preview's scroll area, so that a point there is a row.
for i in $(seq -w 1 24); do echo "entry $i" >"$HOME/files/src/f$i.txt"; done
(cd "$HOME/files/src" && zip -q ../Report.zip ./*.txt)
space="$XDG_CACHE_HOME/Tarvo/drag"

openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
"$tarvo" "$HOME/files/Report.zip" >"$HOME/tarvo.log" 2>&1 &
app=$!
pids+=($app)
preview=$(timeout 20 xdotool search --sync --onlyvisible --name '^Archive contents$' | head -1) || fail "no preview"
"$target" "$work/dropped" >"$work/dropped.txt" 2>"$work/target.log" &
drop=$!
pids+=($drop)
square=$(timeout 20 xdotool search --sync --onlyvisible --name '^Drop target$' | head -1) || fail "no drop target"
sleep 1

# The drop target beside the preview, and a point in the lower part of the preview's list.
eval "$(xdotool getwindowgeometry --shell "$preview")"
xdotool windowmove --sync "$square" $((X + WIDTH + 40)) $((Y + 40))
rx=$((X + WIDTH / 3)) ry=$((Y + HEIGHT - 110)) tx=$((X + WIDTH + 140)) ty=$((Y + 140))
[[ -z $(ls -A "$space" 2>/dev/null) ]] || fail "something was unpacked before the drag"

xdotool mousemove "$rx" "$ry"
sleep 0.3
xdotool mousedown 1
for step in $(seq 1 16); do
    xdotool mousemove $((rx + (tx - rx) * step / 16)) $((ry + (ty - ry) * step / 16))
    sleep 0.05
done
sleep 0.4
import -window root "$out/drag-out-during.png"
[[ -z $(ls -A "$space" 2>/dev/null) ]] || fail "something was unpacked before the drop"
xdotool mouseup 1

for _ in $(seq 100); do kill -0 "$drop" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$drop" || status=$?
sleep 0.3
import -window root "$out/drag-out-dropped.png"
[[ $status -eq 0 ]] || fail "the drop target ended with $status: $(cat "$work/dropped.txt" "$work/target.log")"

# One file URL in a folder of Tarvo's drag space, and the right content.
url=$(cat "$work/dropped.txt")
echo "dropped: $url"
[[ $(wc -l <"$work/dropped.txt") -eq 1 && $url == "file://$space/run-"* ]] || fail "unexpected URL"
name=${url##*/}
[[ $name == f??.txt ]] || fail "unexpected entry $name"
[[ $(cat "$work/dropped/$name") == "entry ${name:1:2}" ]] || fail "wrong content in $name"
[[ $(cat "${url#file://}") == "entry ${name:1:2}" ]] || fail "the unpacked file is gone before the preview closed"

# Escape closes the preview and takes the unpacked entry with it; quitting, the rest.
xdotool windowactivate --sync "$preview" 2>/dev/null || true
xdotool key Escape
for _ in $(seq 100); do [[ -e ${url#file://} ]] || break; sleep 0.1; done
[[ ! -e ${url#file://} ]] || fail "the unpacked entry stayed after the preview closed"
kill -TERM "$app"
wait "$app" || true
[[ -z $(ls -A "$space") ]] || fail "the drag space was left: $(ls -A "$space")"
echo "passed"
