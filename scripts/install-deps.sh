#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo run need,
# and only those that are missing.
set -euo pipefail

# The demo run needs the cross compiler, Wine, a virtual display and the
# skin's renderer; the tests and the packages need the rest.
run_packages=(
    cmake ninja-build g++ googletest
    g++-mingw-w64-x86-64-posix
    libstb-dev # stb_image_write: JPEG at the quality asked where GDI+ ignores it
    wine wine64 xvfb
    libjpeg-turbo-progs librsvg2-bin fonts-dejavu-core python3
    x11vnc # to look at the virtual display the demo makes
)
test_packages=(
    libgtest-dev
    g++-mingw-w64-i686-posix
    clang libclang-rt-14-dev
    libimage-exiftool-perl exiv2
    # Packaging: the installer, the manual's PDF and its checks. munkres
    # before weasyprint: it satisfies the font library's "scipy or munkres"
    # without scipy's 200 MB.
    nsis python3-munkres python3-markdown weasyprint poppler-utils
)
#   install-deps.sh          everything
#   install-deps.sh --run    what the demo run needs
packages=("${run_packages[@]}")
[ "${1:-}" = --run ] || packages+=("${test_packages[@]}")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
