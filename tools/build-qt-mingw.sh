#!/bin/sh
# Builds Qt 6 for Windows (Core, Gui, Widgets, Test as DLLs, with the windows, offscreen and minimal
# platform plugins and the Windows styles), cross-compiled with Debian's MinGW-w64 from Debian's own source
# package of the Qt that Debian installs, and installs it into PREFIX, where the mingw preset looks for it.
# Its moc, rcc and uic are those of Debian's Qt (qt6-base-dev), which is why the versions must match.
# About 15 minutes on two cores; nothing is done when PREFIX holds the build already.
#
# usage: sh tools/build-qt-mingw.sh [PREFIX]    (default ~/.cache/quillmere/qt6-mingw-6.4.2)
# JOBS sets the build's parallel jobs (default 2). Runs as root, or through sudo for apt-get.
set -e
VERSION=6.4.2
PREFIX=${1:-$HOME/.cache/quillmere/qt6-mingw-$VERSION}
JOBS=${JOBS:-2}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

holds_qt() {
    [ -f "$1/lib/cmake/Qt6/Qt6Config.cmake" ] && [ -f "$1/bin/Qt6Widgets.dll" ] &&
        [ -f "$1/plugins/platforms/qwindows.dll" ] && [ -f "$1/plugins/platforms/qoffscreen.dll" ]
}
if holds_qt "$PREFIX"; then
    echo "build-qt-mingw: $PREFIX holds Qt for MinGW-w64 already; nothing to do"
    exit 0
fi
if [ -e "$PREFIX" ] && [ -n "$(ls -A "$PREFIX" 2>/dev/null)" ]; then
    echo "build-qt-mingw: $PREFIX is not empty but holds no Qt for MinGW-w64; remove it or name another folder" >&2
    exit 1
fi

# What the build needs: the cross compiler, Debian's Qt for its host tools, and the build tools.
PACKAGES="g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools ninja-build cmake xz-utils"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case $host_version in
$VERSION*) ;;
*) echo "build-qt-mingw: Debian's qt6-base-dev is $host_version; this script makes Qt $VERSION to match it" \
    "and must be changed together with it" >&2
   exit 1 ;;
esac

# Debian's own source of that Qt: a deb-src line for the archive apt already uses, when there is none.
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    . /etc/os-release
    $SUDO sh -c "cat >/etc/apt/sources.list.d/quillmere-qt-src.sources" <<X
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
X
    $SUDO apt-get update -qq
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qt6-mingw.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
# The exact version of the host tools, so that moc's output fits the libraries.
apt-get source --download-only "qt6-base=$host_version"
tar -xJf qt6-base_*.orig.tar.xz
src=$(ls -d qtbase-everywhere-src-*)

cat >mingw.cmake <<'X'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
X

# tabletevent off: Debian's source leaves out the Wacom header wintab.h that Windows' tablet support
# includes. OpenGL stays on (dynamic): the windows platform plugin of 6.4 does not build without it.
cmake -G Ninja -S "$src" -B build \
    -DCMAKE_TOOLCHAIN_FILE="$WORK/mingw.cmake" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_testlib=ON \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF -DQT_FEATURE_pkg_config=OFF
cmake --build build --parallel "$JOBS"
# Installed beside the target first and moved into place, so an interrupted install never looks finished.
# Qt finds its files relative to its DLLs, so the move keeps it whole.
rm -rf "$PREFIX.partial"
mkdir -p "$(dirname "$PREFIX")"
cmake --install build --prefix "$PREFIX.partial"
holds_qt "$PREFIX.partial" || { echo "build-qt-mingw: the install lacks Qt's DLLs or plugins" >&2; exit 1; }
rmdir "$PREFIX" 2>/dev/null || true
mv "$PREFIX.partial" "$PREFIX"
echo "build-qt-mingw: Qt $VERSION for MinGW-w64 is in $PREFIX"
