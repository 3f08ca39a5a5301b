#!/bin/sh
# Windows stage: the core, the app layer with its advapi32 registry code, quillmere-cli and, when a Qt for
# MinGW-w64 is at hand (cmake/QtForMinGW.cmake), the window program cross-compiled with MinGW-w64; their
# tests run under Wine, in a prefix of the build tree's own (see the toolchain file).
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
export WINEPREFIX="$ROOT/build/mingw/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

cmake --preset mingw
window_program=$(cat "$ROOT/build/mingw/window-program.txt")
echo "check-windows: the window program quillmere.exe: $window_program"
cmake --build --preset mingw
# Wine's first start sets the prefix up, which takes a while: once here rather than inside a test.
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i
wineserver -w
# Fonts as on Windows: Tahoma and MS Sans Serif from Wine's own (fonts-wine), and for Arial and Times New
# Roman the Liberation fonts of the same metrics (fonts-liberation2). Without them Wine substitutes any
# font it finds, a blackletter or a wider serif, and the fixed layouts no longer fit.
for font in "Arial=Liberation Sans" "Times New Roman=Liberation Serif" "Courier New=Liberation Mono"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${font%%=*}" /d "${font#*=}" /f >/dev/null
done
# Wine lists the fonts of its Fonts folder, not every font of the host.
cp /usr/share/fonts/truetype/liberation2/Liberation*-Regular.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -w
# One server for the whole run: a server that leaves three seconds after its last client can be on its
# way out just as the next test connects ("recvmsg: Connection reset by peer").
# Wine's own services start with the first program and live as long as the server: start them here, so
# that they do not hold on to the output pipe of a test (ctest would wait for it to close).
wineserver -p600
trap 'wineserver -k 2>/dev/null || true' EXIT
wine cmd /c exit >/dev/null 2>&1
# Now and then a test process under Wine ends at once with no output at all (seen on a loaded machine,
# a different test each time); a second run tells that apart from a failing test.
ctest --preset mingw --repeat until-pass:2
# Wine writes the registry to its files when the server ends.
wineserver -k
wineserver -w
trap - EXIT

# --wav decodes the same on Windows as on Linux: the demo game's sounds, sample for sample, as the Linux
# build's quillmere-cli writes them (the ci workflow's, else the package stage's).
linux_cli=""
for tree in ci pkg dev; do
    [ -x "$ROOT/build/$tree/cli/quillmere-cli" ] && [ -f "$ROOT/build/$tree/cli/quillmere-sound.so" ] && {
        linux_cli=$ROOT/build/$tree/cli/quillmere-cli
        break
    }
done
if [ -n "$linux_cli" ]; then
    wav=$ROOT/build/mingw/wav-check
    rm -rf "$wav" && mkdir -p "$wav/linux" "$wav/windows"
    wine "$ROOT/build/mingw/tools/mkdemo/mkdemo.exe" "Z:$wav/game" >/dev/null
    (cd "$wav/windows" && wine "$ROOT/build/mingw/cli/quillmere-cli.exe" --game "Z:$wav/game" extract --wav \
        CHASOUND.BIF >/dev/null 2>&1)
    (cd "$wav/linux" && "$linux_cli" --game "$wav/game" extract --wav CHASOUND.BIF >/dev/null 2>&1)
    # Each sound a RIFF WAVE file with a data chunk, and the same files on both.
    count=$(cd "$wav/linux/CHASOUND" && grep -l "data" -- *.WAV | wc -l)
    [ "$count" -gt 0 ] && diff -r "$wav/linux/CHASOUND" "$wav/windows/CHASOUND" || {
        echo "check-windows: quillmere-cli.exe --wav does not write what the Linux build writes" >&2
        exit 1
    }
    echo "check-windows: --wav writes the same $count sounds on Windows as on Linux, sample for sample"
else
    echo "check-windows: no Linux quillmere-cli with its decoder in build/ci or build/pkg; skipped comparing --wav"
fi

if [ -f "$ROOT/build/mingw/ui/quillmere.exe" ]; then
    # The zip for Windows users, then the window program on a real display and the zip in a fresh prefix.
    rm -f "$ROOT"/build/mingw/quillmere-*-win64.zip
    (cd "$ROOT/build/mingw" && cpack -G ZIP)
    sh tools/check-windows-gui.sh
    # What the null sink heard while the editors of the build tree and of the zip played RAEBRUK.WAV: its
    # tone, as the Linux build decodes it, for twice its length.
    if [ -n "$linux_cli" ]; then
        python3 tools/heard-tone.py "$ROOT/build/mingw/gui/recording.raw" "$wav/linux/CHASOUND/RAEBRUK.WAV" 2 || {
            echo "check-windows: quillmere.exe under Wine, from the build tree and from the zip, did not play RAEBRUK.WAV into the null sink" >&2
            exit 1
        }
        echo "check-windows: quillmere.exe under Wine, from the build tree and from the zip, played RAEBRUK.WAV into the null sink"
    fi
else
    echo "check-windows: the window program quillmere.exe was $window_program"
fi

# The Linux build reads that same registry file as Wine wrote it: the key that reg.exe set names C:\Games\BG\,
# where the tests' mkdemo.exe wrote the demo game, and the drive link maps it to the prefix's drive_c.
cli=$linux_cli
if [ -n "$cli" ]; then
    printf 'CHASOUND.BIF\nCREATURE.BIF\nITEMS.BIF\nSPELLS.BIF\n' >"$ROOT/build/mingw/list.expected"
    (cd "$ROOT/build/mingw" && env -u QUILLMERE_GAME_DIR "$cli" list >list.txt)
    cmp "$ROOT/build/mingw/list.expected" "$ROOT/build/mingw/list.txt" || {
        echo "check-windows: the Linux reader did not find the game through Wine's system.reg" >&2
        exit 1
    }
    echo "check-windows: the Linux build finds the game through the registry that Wine wrote"
else
    echo "check-windows: no Linux quillmere-cli in build/ci or build/pkg; skipped reading Wine's system.reg from Linux"
fi
