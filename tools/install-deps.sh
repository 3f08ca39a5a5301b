#!/bin/sh
# Installs the Debian 12 packages that build, run and test Quillmere. Runs as root, or through sudo.
set -e
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# What builds and runs the program and its unit and widget tests; FFmpeg's libraries decode the game's
# sounds and Qt Multimedia plays them; libzip reads the DLC's zip and nlohmann-json writes --json.
PACKAGES="build-essential cmake ninja-build qt6-base-dev libgtest-dev libgmock-dev file \
  fonts-blankenburg fonts-liberation2 xvfb xauth libxcb1-dev \
  pkg-config libavcodec-dev libavformat-dev libavutil-dev libswresample-dev qt6-multimedia-dev libzip-dev nlohmann-json3-dev"
# --test adds what the other stages of the whole suite need: the fuzzers, the package checks and the
# Windows cross-build with its tests under Wine, Wine's own fonts and what drives and photographs the window
# program on Xvfb; the window manager the windows' benchmark and the Windows stage run under; and ffmpeg and
# a PulseAudio server, which cross-check the made-up sounds and hear what the editor plays.
if [ "$1" = "--test" ]; then
  PACKAGES="$PACKAGES clang clang-format libclang-rt-14-dev llvm \
    dpkg-dev desktop-file-utils appstream man-db googletest g++-mingw-w64-x86-64 wine wine64 openbox \
    libz-mingw-w64-dev fonts-wine xdotool imagemagick x11-utils unzip ffmpeg pulseaudio pulseaudio-utils python3"
fi
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
