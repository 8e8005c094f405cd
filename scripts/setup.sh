#!/bin/bash
# Installs what a fresh Debian 12 machine lacks and creates the private Wine
# prefix in the build folder. Safe to run again: each step is skipped when its
# result is already there.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}

# wine32:i386 runs the 32-bit (i686) build's programs in the same 64-bit prefix.
PACKAGES="wine64 libwine fonts-wine wine32:i386 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-i686 mingw-w64-i686-dev cmake make googletest xvfb xauth x11-utils
imagemagick xdotool fonts-wqy-microhei locales nginx-light python3 python3-pil curl strace
libssl-dev"

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
if [ -n "${missing// }" ]; then
    echo "setup: installing $missing"
    dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386
    sudo_ apt-get update -qq
    # The nginx package would start a system server on port 80; we run our own.
    echo exit 101 | sudo_ tee /usr/sbin/policy-rc.d >/dev/null; sudo_ chmod +x /usr/sbin/policy-rc.d
    DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends $missing
    sudo_ rm -f /usr/sbin/policy-rc.d
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    echo "setup: generating the zh_CN.UTF-8 locale"
    sudo_ sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
    sudo_ locale-gen >/dev/null
fi

. "$ROOT/scripts/wine-env.sh"
STAMP="$WINEPREFIX/.project-settings"
if [ ! -f "$STAMP" ] || [ "$ROOT/scripts/wine-settings.reg.txt" -nt "$STAMP" ]; then
    echo "setup: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY "$WINE" wineboot -u </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
    reg="$BUILD/wine-settings.reg"
    sed 's/$/\r/' "$ROOT/scripts/wine-settings.reg.txt" | iconv -f utf-8 -t utf-16 > "$reg"
    env -u DISPLAY "$WINE" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
    ln -sf /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    touch "$STAMP" "$WINEPREFIX/.project-wow64"
fi

# A prefix made before wine32 was there has no 32-bit system folder; one more
# update fills it. Tried once: where the kernel runs no 32-bit code, it cannot.
if [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && [ ! -f "$WINEPREFIX/.project-wow64" ]; then
    echo "setup: adding the 32-bit system folder to the Wine prefix"
    env -u DISPLAY "$WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w
    touch "$WINEPREFIX/.project-wow64"
fi
