#!/bin/sh
# The window program under Wine on a real X server (Xvfb with the openbox window manager) with Qt's
# windows platform plugin, as a Windows user starts it:
#  1. from the build tree, in the tests' prefix, whose registry names the demo game the tests wrote to
#     C:\Games\BG\: the main window and the editor, with screenshots in build/mingw/gui/;
#     then the editor on CHASOUND.BIF, where a double-click plays its first sound: the whole run is in
#     a private PulseAudio session (tools/sound-session.sh) whose null sink's monitor is recorded into
#     build/mingw/gui/recording.raw, for tools/heard-tone.py;
#  2. from the zip for Windows users, unpacked into a fresh prefix with nothing else set up.
# tools/check-windows.sh runs it after the tests and cpack.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/mingw
OUT=$BUILD/gui
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

fail() {
    echo "check-windows-gui: $*" >&2
    exit 1
}

if [ -z "$QUILLMERE_ON_XVFB" ]; then
    rm -rf "$OUT"
    mkdir -p "$OUT"
    # Xvfb with openbox, and the sound server.
    QUILLMERE_ON_XVFB=1 RECORD="$OUT/recording.raw" exec sh tools/sound-session.sh sh "$0" "$@"
fi
unset QUILLMERE_GAME_DIR WINEPATH

app_pid=""
stop_wine() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    app_pid=""
}
trap 'stop_wine' EXIT

# The id of the shown top-level window captioned exactly $1, once it is there.
window_named() {
    tries=0
    while [ $tries -lt 90 ]; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 1
        tries=$((tries + 1))
    done
    return 1
}
# Clicks at a point of a window, in the window's own pixels.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 1
}
screenshot() {
    sleep 2
    import -silent -window root "$OUT/$1"
    echo "check-windows-gui: $OUT/$1"
}

echo "== the window program from the build tree, on the game the registry names"
export WINEPREFIX=$BUILD/wineprefix
runtime=Z:$BUILD/windows-runtime
mkdir -p "$OUT/work"
(cd "$OUT/work" && WINEPATH=$runtime exec wine "$BUILD/ui/quillmere.exe") \
    >"$OUT/quillmere.log" 2>&1 &
app_pid=$!
main=$(window_named "Quillmere Ziro") || fail "no main window captioned 'Quillmere Ziro'"
screenshot main-window.png
# The list holds CHASOUND, CREATURE, ITEMS and SPELLS.BIF, in that order: a click on the first row chooses
# it, two presses of Down the third, ITEMS.BIF; then Edit opens the editor on it.
eval "$(xdotool getwindowgeometry --shell "$main")"
offset=$((HEIGHT - 383))
click "$main" 120 $((offset + 80))
xdotool key --window "$main" Down Down
sleep 1
click "$main" 212 $((offset + 148))
edit=$(window_named "Dizurorudav") || fail "Edit did not open the editor"
screenshot editor-window.png
stop_wine

# In the main window $1, the editor on CHASOUND.BIF, the first row; a double-click on its first sound,
# RAEBRUK.WAV, plays it (for 2.2 seconds), and the screenshot $2 shows the editor after. The sound's row
# lies below the menu bar (20 pixels) where the list starts (72) and half a row (9) down.
play_first_sound() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    offset=$((HEIGHT - 383))
    click "$1" 120 $((offset + 80))
    click "$1" 212 $((offset + 148))
    edit=$(window_named "Dizurorudav") || fail "Edit did not open the editor on CHASOUND.BIF"
    xdotool mousemove --window "$edit" 40 101 click --repeat 2 --delay 80 1
    sleep 4
    screenshot "$2"
}
(cd "$OUT/work" && WINEPATH=$runtime exec wine "$BUILD/ui/quillmere.exe") >"$OUT/quillmere-sound.log" 2>&1 &
app_pid=$!
main=$(window_named "Quillmere Ziro") || fail "no main window captioned 'Quillmere Ziro'"
play_first_sound "$main" editor-played.png
stop_wine
echo "check-windows-gui: double-clicked RAEBRUK.WAV in the editor; the recording is $OUT/recording.raw"

# The same four archives, asked of the window itself: a widget test on this display with the windows
# platform plugin (an argument: Wine hands no QT_* variable on), no game folder given, so the registry
# names it.
(cd "$OUT/work" && WINEPATH=$runtime QUILLMERE_TEST_INSTALLED_DEMO=1 wine "$BUILD/tests/test_frmmain.exe" \
    -platform windows --gtest_filter='FrmMainInstalledGame.*') >"$OUT/installed-game.log" 2>&1 ||
    { cat "$OUT/installed-game.log"; fail "the main window does not show the installed game's archives"; }
grep -q '\[  PASSED  \] 1 test' "$OUT/installed-game.log" ||
    { cat "$OUT/installed-game.log"; fail "the installed game's check did not run"; }
stop_wine
echo "check-windows-gui: the main window, captioned 'Quillmere Ziro', shows the four archives of the game the registry names"

echo "== the zip in a fresh prefix"
version=$(sed -n 's/^project(Quillmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$BUILD/quillmere-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
export WINEPREFIX=$OUT/fresh-prefix
wineboot -i >/dev/null 2>&1
unzip -q "$zip" -d "$OUT/unzipped"
dir=$OUT/unzipped/quillmere-$version-win64
for program in quillmere-cli quillmere; do
    out=$(wine "$dir/$program.exe" --version 2>"$OUT/$program-version.err" | tr -d '\r')
    [ "$out" = "$program $version" ] || { cat "$OUT/$program-version.err"; fail "$program.exe --version: '$out'"; }
    echo "check-windows-gui: $program.exe --version: $out"
done
game=Z:$(echo "$BUILD/wineprefix/drive_c/Games/BG" | tr / '\\')
list=$(cd "$OUT/work" && QUILLMERE_GAME_DIR=$game wine "$dir/quillmere-cli.exe" list | tr -d '\r' | tr '\n' ' ')
[ "$list" = "CHASOUND.BIF CREATURE.BIF ITEMS.BIF SPELLS.BIF " ] || fail "quillmere-cli.exe list: $list"
# --wav with the zip's decoder: RIFF WAVE files with their samples.
mkdir -p "$OUT/zip-wav"
(cd "$OUT/zip-wav" && QUILLMERE_GAME_DIR=$game wine "$dir/quillmere-cli.exe" extract --wav CHASOUND.BIF) \
    >"$OUT/zip-wav.log" 2>&1 || { cat "$OUT/zip-wav.log"; fail "the zip's quillmere-cli.exe extract --wav failed"; }
python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); sys.exit(w.getnframes() == 0)' \
    "$OUT/zip-wav/CHASOUND/RAEBRUK.WAV" || fail "the zip's --wav wrote no samples into RAEBRUK.WAV"
echo "check-windows-gui: the zip's quillmere-cli.exe --wav writes RAEBRUK.WAV with its samples"
(cd "$OUT/work" && QUILLMERE_GAME_DIR=$game exec wine "$dir/quillmere.exe") >"$OUT/zip-quillmere.log" 2>&1 &
app_pid=$!
main=$(window_named "Quillmere Ziro") || { cat "$OUT/zip-quillmere.log"; fail "the zip's quillmere.exe showed no main window"; }
screenshot zip-main-window.png
# RAEBRUK.WAV played a second time, by the zip's program (the recording must hold it twice).
play_first_sound "$main" zip-editor-played.png
stop_wine
echo "check-windows-gui: the zip runs in a fresh prefix"
