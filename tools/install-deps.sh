#!/usr/bin/env bash
# Installs every Debian package the build, the program under Wine and the tests need.
# Idempotent: packages already present are skipped quickly.
set -euo pipefail

packages=(
    # cross toolchain and build
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake make ninja-build g++ clang
    libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev libre2-dev libpcre2-dev
    # SoundTouch: the native tree's tests use Debian's library; the Windows DLL is built from
    # Debian's source package by tools/build-soundtouch.sh (apt-get source, dpkg-source)
    libsoundtouch-dev pkgconf dpkg-dev
    # the layout check (tools/check-format.sh), pinned to one major version
    clang-format-14
    # Windows run-time and its audio decoding
    wine wine64 libwine fonts-wine
    # what Wine's Tahoma lacks, linked to it by tools/wine-session.sh: Greek, Japanese
    fonts-dejavu-core fonts-vlgothic
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
    # headless display, window manager, screenshots and input
    xvfb xauth openbox imagemagick xdotool x11-utils
    # test material and servers
    python3 python3-pil lame sox libsox-fmt-mp3 ffmpeg espeak-ng curl openssl ca-certificates procps
    # the installer, Authenticode signing, and the maker's version script run by the
    # development update server
    nsis osslsigncode php-cli
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing packages (${missing[*]}); run as root" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
