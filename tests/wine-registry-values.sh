#!/bin/sh
# Writes the registry values that test_registry_windows reads into the Wine prefix in $WINEPREFIX, with
# Wine's own reg.exe. Argument: the wine launcher.
set -e
WINE=${1:-wine}
reg() { "$WINE" reg add "$@" /f >/dev/null; }

reg "HKLM\\SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate" /v Path /t REG_SZ /d 'C:\Games\BG\' /reg:64

key='HKLM\SOFTWARE\Quillmere Tests'
fits=$(printf '%1023s' '' | tr ' ' a)
reg "$key" /v Fits /t REG_SZ /d "$fits" /reg:64
reg "$key" /v TooLong /t REG_SZ /d "${fits}a" /reg:64
reg "$key" /v Empty /t REG_SZ /d '' /reg:64
reg "$key" /v Expand /t REG_EXPAND_SZ /d '%SystemRoot%\Games\' /reg:64
reg "$key" /v AllOnes /t REG_DWORD /d 0xffffffff /reg:64
reg "$key" /v Answer /t REG_DWORD /d 42 /reg:64
reg "$key" /v Bytes /t REG_BINARY /d 433a5c00 /reg:64
# A 32-bit installer on 64-bit Windows writes to the 32-bit view only.
reg "$key\\Only32" /v Path /t REG_SZ /d 'C:\Old\' /reg:32
