#!/bin/sh
# Packaging stage: a release tree installed into a staging folder, checked as a desktop would use it, then
# the .deb; as root on Debian the .deb is also installed with apt-get, run, and removed again.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
# A built release tree may be given (the test command gives the ci workflow's); else build/pkg is built.
BUILD=${1:+$ROOT/$1}
BUILD=${BUILD:-$ROOT/build/pkg}
STAGE=$BUILD/stage
WORK=$BUILD/check
APP_ID=io.github.quillmere.Quillmere

fail() {
    echo "check-package: $*" >&2
    exit 1
}

if [ -z "$1" ]; then
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_BUILD_TESTS=OFF -DQUILLMERE_WERROR=ON
    cmake --build "$BUILD" -j2
fi
rm -rf "$STAGE" "$WORK"
mkdir -p "$WORK"
DESTDIR="$STAGE" cmake --install "$BUILD" --prefix /usr

echo "== install tree"
for f in bin/quillmere bin/quillmere-cli share/applications/quillmere.desktop \
    share/metainfo/$APP_ID.metainfo.xml share/man/man1/quillmere.1 share/man/man1/quillmere-cli.1 \
    share/doc/quillmere/copyright; do
    [ -f "$STAGE/usr/$f" ] || fail "missing /usr/$f"
done
for p in bin/quillmere bin/quillmere-cli; do
    [ -x "$STAGE/usr/$p" ] || fail "/usr/$p is not executable"
done
for size in 16 32 48; do
    icon=$STAGE/usr/share/icons/hicolor/${size}x${size}/apps/quillmere.png
    [ -f "$icon" ] || fail "missing the ${size}x${size} icon"
    file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "$icon: $(file -b "$icon")"
done

echo "== desktop entry"
desktop=$STAGE/usr/share/applications/quillmere.desktop
# Not even a hint: one with more than one main category shows the program twice in menus.
desktop-file-validate "$desktop" >"$WORK/desktop.txt" 2>&1 || { cat "$WORK/desktop.txt"; fail "desktop-file-validate"; }
[ ! -s "$WORK/desktop.txt" ] || { cat "$WORK/desktop.txt"; fail "desktop-file-validate complains"; }
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$STAGE/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$STAGE/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "Icon=$icon_name is not an installed icon"
grep -qx 'Categories=Utility;Archiving;' "$desktop" || fail "the entry belongs in Utility, under Archiving"

echo "== AppStream"
# Nothing but the line of success (and, from validate-tree, the names of the files it read) may be
# printed: an error, warning or info note (E:, W:, I:) fails the stage as well.
appstream_quiet() {
    LC_ALL=C.UTF-8 appstreamcli "$@" >"$WORK/appstream.txt" 2>&1 ||
        { cat "$WORK/appstream.txt"; fail "appstreamcli $1"; }
    cat "$WORK/appstream.txt"
    if grep -E '^ *[EWIP]: ' "$WORK/appstream.txt" >/dev/null; then fail "appstreamcli $1 complains"; fi
}
appstream_quiet validate --no-net "$STAGE/usr/share/metainfo/$APP_ID.metainfo.xml"
# The tree check also finds the desktop entry that the metainfo launches.
appstream_quiet validate-tree --no-net "$STAGE"
version=$(sed -n 's/^project(Quillmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
grep -q "<release version=\"$version\"" "$STAGE/usr/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "the metainfo has no release $version"

echo "== man pages"
for program in quillmere quillmere-cli; do
    page=$STAGE/usr/share/man/man1/$program.1
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$WORK/man.txt" 2>"$WORK/man.err"
    [ ! -s "$WORK/man.err" ] || { cat "$WORK/man.err"; fail "$program.1: man page warnings"; }
    # Every command and option of --help has its place in the page (both answer --help without a display).
    "$STAGE/usr/bin/$program" --help >"$WORK/help.txt"
    words=$(sed -n 's/^  \([a-z-][a-z-]*\) .*/\1/p' "$WORK/help.txt")
    case $program in quillmere) sample=--version ;; *) sample=list ;; esac
    echo "$words" | grep -qx -- "$sample" || fail "$sample not found in $program --help"
    for word in $words; do
        grep -q -- "^ *$word\b" "$WORK/man.txt" || fail "$program.1 does not describe $word"
    done
    for heading in SYNOPSIS OPTIONS "GAME FOLDER" "EXIT STATUS" EXAMPLES "SEE ALSO" QUILLMERE_GAME_DIR WINEPREFIX; do
        grep -q "$heading" "$WORK/man.txt" || fail "$program.1 has no $heading"
    done
done

echo "== installed command line on the demo game"
"$BUILD/tools/mkdemo/mkdemo" "$WORK/demo-game" >/dev/null
printf 'CHASOUND.BIF\nCREATURE.BIF\nITEMS.BIF\nSPELLS.BIF\n' >"$WORK/list.expected"
"$STAGE/usr/bin/quillmere-cli" --game "$WORK/demo-game" list >"$WORK/list.txt"
cmp "$WORK/list.expected" "$WORK/list.txt" || fail "staged quillmere-cli list: $(cat "$WORK/list.txt")"

echo "== the sound decoder module, found from the program's folder"
find "$STAGE/usr/lib" -path '*/quillmere/quillmere-sound.so' | grep -q . || fail "no /usr/lib/.../quillmere/quillmere-sound.so"
for p in bin/quillmere bin/quillmere-cli; do
    if ldd "$STAGE/usr/$p" | grep -q libavcodec; then fail "/usr/$p links FFmpeg itself"; fi
done
# WAVC files left after --wav are only those too short to decode.
wavc_count() { for f in "$1"/*; do head -c 4 "$f"; echo; done | grep -c '^WAVC' || true; }
mkdir -p "$WORK/stored" "$WORK/wav"
(cd "$WORK/stored" && "$STAGE/usr/bin/quillmere-cli" --game "$WORK/demo-game" extract CHASOUND.BIF)
(cd "$WORK/wav" && "$STAGE/usr/bin/quillmere-cli" --game "$WORK/demo-game" extract --wav CHASOUND.BIF) ||
    fail "staged quillmere-cli extract --wav"
[ "$(wavc_count "$WORK/wav/CHASOUND")" -lt "$(wavc_count "$WORK/stored/CHASOUND")" ] ||
    fail "staged quillmere-cli extract --wav decoded nothing"

echo "== .deb"
rm -f "$BUILD"/quillmere_*.deb
(cd "$BUILD" && cpack -G DEB)
deb=$(ls "$BUILD"/quillmere_"$version"_*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = quillmere ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# shlibdeps reads the libraries from the binaries; a hand-written list would miss one sooner or later.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    echo "$depends" | grep -q "\b$lib (>=" || fail "Depends lacks $lib"
done
# The decoder module's libraries come with it: shlibdeps reads the module too.
echo "$depends" | grep -q "\blibavcodec[0-9]* (>=" || fail "Depends lacks libavcodec (the sound decoder module)"
dpkg-deb -c "$deb" >"$WORK/deb-contents.txt"
for f in share/applications/quillmere.desktop share/man/man1/quillmere.1 share/man/man1/quillmere-cli.1 \
    share/doc/quillmere/copyright; do
    grep -q "/usr/$f\$" "$WORK/deb-contents.txt" || fail "the .deb has no /usr/$f"
done
rm -rf "$WORK/deb" && dpkg-deb -x "$deb" "$WORK/deb"
head -n 1 "$WORK/deb/usr/share/doc/quillmere/copyright" |
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the .deb's copyright file is not in Debian's machine-readable format"

if [ "$(id -u)" -ne 0 ] || [ ! -f /etc/debian_version ]; then
    echo "check-package: not root on Debian, the .deb is not installed"
    exit 0
fi
if dpkg-query -W -f='${Status}' quillmere 2>/dev/null | grep -q "install ok installed"; then
    fail "quillmere is installed already; remove it first (apt-get remove quillmere)"
fi

echo "== apt-get install the .deb"
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillmere >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$WORK/apt.log" 2>&1 ||
    { cat "$WORK/apt.log"; fail "apt-get install $deb"; }
dpkg-query -W -f='${Status}\n' quillmere
[ "$(command -v quillmere-cli)" = /usr/bin/quillmere-cli ] || fail "quillmere-cli is not on PATH"
cd "$WORK"
quillmere-cli --help >/dev/null
quillmere-cli --game "$WORK/demo-game" list >"$WORK/list.txt"
cmp "$WORK/list.expected" "$WORK/list.txt" || fail "installed quillmere-cli list: $(cat "$WORK/list.txt")"
mkdir -p "$WORK/out" && cd "$WORK/out"
quillmere-cli --game "$WORK/demo-game" extract CREATURE.BIF
[ -s CREATURE.log ] || fail "extract wrote no log"
[ "$(wc -l <CREATURE.log)" -eq "$(find CREATURE -type f | wc -l)" ] || fail "the log does not list every extracted file"
cd "$WORK"
if ldd /usr/bin/quillmere | grep "not found"; then fail "quillmere misses a library"; fi
# The window program starts and keeps running until it is stopped.
status=0
QT_QPA_PLATFORM=offscreen QUILLMERE_GAME_DIR="$WORK/demo-game" timeout 5 quillmere || status=$?
[ "$status" -eq 124 ] || fail "quillmere ended by itself with status $status"
desktop-file-validate /usr/share/applications/quillmere.desktop >"$WORK/desktop.txt" 2>&1 ||
    { cat "$WORK/desktop.txt"; fail "desktop-file-validate on the installed entry"; }
[ ! -s "$WORK/desktop.txt" ] || { cat "$WORK/desktop.txt"; fail "desktop-file-validate complains"; }
[ -f /usr/share/doc/quillmere/copyright ] || fail "the installed package has no copyright file"

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillmere >"$WORK/apt.log" 2>&1 ||
    { cat "$WORK/apt.log"; fail "apt-get remove quillmere"; }
trap - EXIT
[ ! -e /usr/bin/quillmere-cli ] || fail "quillmere-cli is still there after apt-get remove"
dpkg-query -W -f='${Status}' quillmere 2>/dev/null | grep -q "install ok installed" && fail "still installed"
echo "check-package: all good"
