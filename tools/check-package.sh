#!/bin/sh
# Packaging stage: a release tree installed into a staging folder, checked as a desktop would use it, then
# the .deb; as root on Debian the .deb is also installed with apt-get, run, and removed again.
set -e
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/pkg
STAGE=$BUILD/stage
WORK=$BUILD/check
APP_ID=io.github.quillmere.Quillmere

fail() {
    echo "check-package: $*" >&2
    exit 1
}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_BUILD_TESTS=OFF -DQUILLMERE_WERROR=ON
cmake --build "$BUILD" -j2
rm -rf "$STAGE" "$WORK"
mkdir -p "$WORK"
DESTDIR="$STAGE" cmake --install "$BUILD" --prefix /usr

echo "== install tree"
for f in bin/quillmere bin/quillmere-cli share/applications/quillmere.desktop \
    share/metainfo/$APP_ID.metainfo.xml share/man/man1/quillmere-cli.1; do
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
# Hints pass (the entry sits in both Utility and Game on purpose); errors and warnings do not.
desktop-file-validate "$desktop" >"$WORK/desktop.txt" 2>&1 || { cat "$WORK/desktop.txt"; fail "desktop-file-validate"; }
cat "$WORK/desktop.txt"
if grep -E ": (error|warning):" "$WORK/desktop.txt" >/dev/null; then fail "desktop-file-validate complains"; fi
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$STAGE/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$STAGE/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "Icon=$icon_name is not an installed icon"
grep -q '^Categories=.*Utility;' "$desktop" && grep -q '^Categories=.*Game;' "$desktop" ||
    fail "the entry belongs in Utility and Game"

echo "== AppStream"
appstreamcli validate --no-net "$STAGE/usr/share/metainfo/$APP_ID.metainfo.xml"
# The tree check also finds the desktop entry that the metainfo launches.
appstreamcli validate-tree --no-net "$STAGE"
version=$(sed -n 's/^project(Quillmere VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
grep -q "<release version=\"$version\"" "$STAGE/usr/share/metainfo/$APP_ID.metainfo.xml" ||
    fail "the metainfo has no release $version"

echo "== man page"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$STAGE/usr/share/man/man1/quillmere-cli.1" >"$WORK/man.txt" 2>"$WORK/man.err"
[ ! -s "$WORK/man.err" ] || { cat "$WORK/man.err"; fail "man page warnings"; }
# Every command and option of --help has its place in the page.
"$STAGE/usr/bin/quillmere-cli" --help >"$WORK/help.txt"
words=$(sed -n 's/^  \([a-z-][a-z-]*\) .*/\1/p' "$WORK/help.txt")
echo "$words" | grep -qx list || fail "no commands found in --help"
for word in $words; do
    grep -q -- "^ *$word\b" "$WORK/man.txt" || fail "the man page does not describe $word"
done
for heading in "GAME FOLDER" "EXIT STATUS" QUILLMERE_GAME_DIR WINEPREFIX; do
    grep -q "$heading" "$WORK/man.txt" || fail "the man page has no $heading"
done

echo "== installed command line on the demo game"
"$BUILD/tools/mkdemo/mkdemo" "$WORK/demo-game" >/dev/null
printf 'CHASOUND.BIF\nCREATURE.BIF\nITEMS.BIF\nSPELLS.BIF\n' >"$WORK/list.expected"
"$STAGE/usr/bin/quillmere-cli" --game "$WORK/demo-game" list >"$WORK/list.txt"
cmp "$WORK/list.expected" "$WORK/list.txt" || fail "staged quillmere-cli list: $(cat "$WORK/list.txt")"

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
dpkg-deb -c "$deb" | grep -q "/usr/share/applications/quillmere.desktop$" || fail "the .deb has no desktop entry"

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
desktop-file-validate /usr/share/applications/quillmere.desktop

echo "== apt-get remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillmere >"$WORK/apt.log" 2>&1 ||
    { cat "$WORK/apt.log"; fail "apt-get remove quillmere"; }
trap - EXIT
[ ! -e /usr/bin/quillmere-cli ] || fail "quillmere-cli is still there after apt-get remove"
dpkg-query -W -f='${Status}' quillmere 2>/dev/null | grep -q "install ok installed" && fail "still installed"
echo "check-package: all good"
