#!/usr/bin/env bash
# Starts the real program under Xvfb and a window manager (openbox, where installed), types a text
# with repeats, turns on 忽略大小写 in the menu of 开始过滤's arrow, filters with Ctrl+Enter,
# presses "复制结果", answers the message box with Enter, checks the clipboard and the remembered
# option, saves the result under a name without extension in the real save dialog (which adds
# ".txt"), takes a screenshot and closes the window.
# Usage: smoke.sh PROGRAM OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" != --inside ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$@"
fi
app=$2
unset QT_QPA_PLATFORM
out=$3
mkdir -p "$out"
# The program remembers its options here, not in the user's own settings.
export XDG_CONFIG_HOME="$out/config"
rm -rf "$XDG_CONFIG_HOME"

fail() {
    echo "smoke: $*" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
}

# Prints the id of the first shown window whose title matches, waiting up to ten seconds for it
# (or $2 tenths of a second).
window_titled() {
    for _ in $(seq "${2:-100}"); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$found" ] && {
            echo "$found"
            return
        }
        sleep 0.1
    done
}

# Waits up to ten seconds until no shown window's title matches.
window_gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "a window titled $1 stayed"
}

# Waits up to ten seconds until the program shows $1 windows (the arrow's menu is one).
windows_shown() {
    for _ in $(seq 100); do
        [ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" = "$1" ] && return 0
        sleep 0.1
    done
    fail "the program never showed $1 windows"
}

# Waits up to ten seconds until the window manager gives the keyboard to the window.
window_active() {
    [ -n "${wm:-}" ] || return 0
    for _ in $(seq 100); do
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
        sleep 0.1
    done
    fail "window $1 never got the keyboard"
}

if command -v openbox >/dev/null; then
    openbox >/dev/null 2>&1 &
    wm=$!
    trap 'kill $wm 2>/dev/null || true' EXIT
    # Until it has taken over the screen, a new window would be placed and focused by no one.
    for _ in $(seq 100); do
        /usr/bin/python3 "$here/x11_close.py" --wm-running && break
        sleep 0.1
    done
fi
"$app" >"$out/smoke.log" 2>&1 &
pid=$!
wid=$(window_titled '^TrennixV1\.0$')
[ -n "$wid" ] || fail "no window titled TrennixV1.0"
window_active "$wid"

# Positions inside the window: the input box, then the two buttons.
xdotool mousemove --window "$wid" 100 80 click 1
xdotool type --delay 30 "banana"
xdotool key Return
xdotool type --delay 30 "apple"
xdotool key Return
xdotool type --delay 30 "Banana"
xdotool mousemove --window "$wid" 335 80 click 1    # 开始过滤's arrow: the options
windows_shown 2
xdotool key Down Return                             # 忽略大小写
xdotool key Escape                                  # the menu stays open for more options
windows_shown 1
xdotool key ctrl+Return                             # 开始过滤
# 复制结果, again until its message box comes: a click while the filter works is not taken.
copied=
for _ in $(seq 10); do
    xdotool mousemove --window "$wid" 292 160 click 1
    copied=$(window_titled '^过滤后的数据\.\.\.$' 10) && [ -n "$copied" ] && break
done
[ -n "$copied" ] || fail "no message box after copying"
import -window root "$out/smoke.png"
xdotool key Return
window_gone '^过滤后的数据\.\.\.$'

got=$(xclip -o -selection clipboard | od -An -c | tr -s ' ')
want=$(printf 'banana\r\napple\r\n' | od -An -c | tr -s ' ')
[ "$got" = "$want" ] || fail "clipboard holds [$got], expected [$want]"
grep -q 'ignore-case' "$XDG_CONFIG_HOME/Trennix/trennix.conf" ||
    fail "the option was not remembered"

# Saved through the real save dialog under a name without extension: 文档文件(*.txt) is chosen,
# so the file gets ".txt".
rm -rf "$out/saved"
mkdir -p "$out/saved"
xdotool key ctrl+s
dialog=$(window_titled '^另存为$')
[ -n "$dialog" ] || fail "no save dialog"
window_active "$dialog"
xdotool key ctrl+a
xdotool type --delay 20 "$out/saved/out2"
xdotool key Return
[ -n "$(window_titled '^提示$')" ] || fail "no message after saving"
xdotool key Return
window_gone '^提示$'
[ -f "$out/saved/out2.txt" ] || fail "saved as [$(ls "$out/saved")], expected out2.txt"
[ "$(od -An -c "$out/saved/out2.txt" | tr -s ' ')" = "$want" ] ||
    fail "out2.txt holds [$(od -An -c "$out/saved/out2.txt")]"

/usr/bin/python3 "$here/x11_close.py" "$wid"
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not exit after its window was closed"
wait "$pid" || fail "the program exited with status $?"
echo "smoke: option chosen and remembered, clipboard right, saved with .txt added, window" \
    "closed, program exited 0; screenshot in $out/smoke.png"
