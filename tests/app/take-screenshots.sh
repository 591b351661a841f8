#!/usr/bin/env bash
# Runs the real tavrin-lumiq on an X server of its own (Xvfb) on the fixture packages
# and saves screenshots of what a user sees: the splash, the start screen, the listed
# files with the save group still disabled, a second start handing its file over, the
# repaired state with each file's status and a preview, the save report, the list's
# context menu, the lock-key indicators, message boxes, and the progress bars in the
# middle of repairing a large package. window-title.txt holds the caption as the X
# server has it.
#
#   tests/app/take-screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
#
# Needs Xvfb, xdotool and ImageMagick's import (apt-get install xvfb xdotool imagemagick).
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/gui}"
out="${2:-$root/build/screenshots}"
program="$build/app/tavrin-lumiq"
[ -x "$program" ] || { echo "no program at $program; build the tavrin-lumiq target first" >&2; exit 1; }
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

mkdir -p "$out"
work="$(mktemp -d)"
trap 'kill "${app_pid:-}" "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/home"
for name in intact no-central-directory truncated-in-local-header not-a-zip; do
  cp "$root/tests/data/fixtures/$name.odb" "$work/in/"
done

display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A fresh user: default look, no other instance, a private temporary folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/home/run" TMPDIR="$work"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

shot() { import -window root "$out/$1.png"; echo "saved $out/$1.png"; }
window() { xdotool search --sync --onlyvisible --name "$1" | head -1; }

# 1. Start without files: the splash, then the window with the Select files dialog.
"$program" &
app_pid=$!
sleep 1.2
shot 01-splash
sleep 3
shot 02-start-with-file-dialog
xdotool key Escape
sleep 0.5
shot 03-start-screen
kill "$app_pid"; wait "$app_pid" 2>/dev/null || true

# 2. Files from the command line, repaired, one item previewed, saved.
# Without a window manager nothing maximises the window: give it the screen's size.
# The work view starts below the menu bar and the toolbar; positions below are the
# view's layout formulas moved by that offset.
width=1280 height=776 view_top=82 status_height=22
view_height=$((height - view_top - status_height))
half=$((view_height / 2))
"$program" "$work"/in/*.odb &
app_pid=$!
main="$(window 'Tavrin Lumiq - Version 1.0')"
sleep 3
xdotool windowmove "$main" 0 0 windowsize --sync "$main" "$width" "$height"
sleep 0.5
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }
# The caption exactly as the window manager gets it, nothing appended.
xprop -id "$main" WM_NAME _NET_WM_NAME > "$out/window-title.txt" 2>&1 || true
shot 03a-files-listed-save-group-disabled
# A second start with a file while the window is open: the file joins its list.
cp "$root/tests/data/fixtures/intact.odb" "$work/in2-handed-over.odb"
timeout 20 "$program" "$work/in2-handed-over.odb"; echo "second start ended with $?" > "$out/second-start.txt"
sleep 1
shot 03b-second-start-handed-its-file-over
click 270 $((view_top + 94))                    # Repair files
sleep 3
click 100 $((view_top + 113 + 30))              # the first item of the job list
sleep 1
shot 04-repaired-with-preview
click 400 $((view_top + half + 43))             # the destination edit
sleep 0.3
shot 04a-destination-defaults-to-the-first-file-folder
xdotool key ctrl+a BackSpace                    # it holds the first file's folder
xdotool type --delay 5 "$work/out"
click $((width - 185)) $((view_top + half + 43)) # Save...
sleep 3
shot 05-saved-message
xdotool key Return
sleep 0.5
xdotool mousemove --window "$main" 400 $((view_top + 113 + 30)) click 3  # the list's context menu
sleep 1
shot 05a-context-menu-after-save
xdotool key Escape
sleep 0.3
xdotool key Caps_Lock Num_Lock
sleep 1
shot 05b-caps-and-num-lock-on
xdotool key Caps_Lock Num_Lock
sleep 0.5
click 383 50                                    # the toolbar's About button
sleep 1
shot 06-about-box
xdotool key Return
sleep 0.5
click $((width - 37)) $((view_top + view_height - 25)) # Exit: the closing question
sleep 1
shot 07-exit-question
xdotool key Return
sleep 1
ls -l "$work/out" || true

# 3. A large package, so that the progress bars are caught in the middle of a repair.
/usr/bin/python3 - "$work/big/large.odb" <<'PY'
import os, random, sys, zipfile
os.makedirs(os.path.dirname(sys.argv[1]), exist_ok=True)
rng = random.Random(7)
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.base")
    for i in range(1500):
        z.writestr(zipfile.ZipInfo("database/part%04d" % i), rng.randbytes(100000))
PY
"$program" "$work/big/large.odb" &
app_pid=$!
main="$(window 'Tavrin Lumiq - Version 1.0')"
sleep 3
xdotool windowmove "$main" 0 0 windowsize --sync "$main" "$width" "$height"
sleep 0.5
click 270 $((view_top + 94))                    # Repair files
sleep 1.5
shot 08-progress-bars-while-repairing
sleep 20
kill "$app_pid"; wait "$app_pid" 2>/dev/null || true
