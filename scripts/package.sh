#!/usr/bin/env bash
# Makes the release packages in build/packages, for x64 and x86 each:
#   Tamsel-<version>-<arch>-setup.exe     NSIS installer (packaging/tamsel.nsi)
#   Tamsel-<version>-<arch>-portable.zip  the same files in a folder of their own
# from the Windows build trees: Tamsel.exe, the skin folder "pic" and
# "User Manual.pdf" (rendered by the build). The version is the program's
# own (src/resources/Tamsel.rc).
#
#   scripts/package.sh [--win64 DIR] [--win32 DIR] [--out DIR] [--no-build]
#
# Without --no-build the trees are configured (as scripts/build.sh does) and
# brought up to date first.
set -euo pipefail
cd "$(dirname "$0")/.."
win64=build/win64
win32=build/win32
out=build/packages
build=1
while [ $# -gt 0 ]; do
    case $1 in
        --win64) win64=$2; shift 2 ;;
        --win32) win32=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --no-build) build=0; shift ;;
        *) echo "usage: scripts/package.sh [--win64 DIR] [--win32 DIR] [--out DIR] [--no-build]" >&2; exit 2 ;;
    esac
done

version=$(sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\)".*/\1/p' src/resources/Tamsel.rc)
[ -n "$version" ] || { echo "package: no ProductVersion in src/resources/Tamsel.rc" >&2; exit 1; }
command -v makensis >/dev/null || { echo "package: makensis not found (Debian package nsis)" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

package() { # ARCH TREE TOOLCHAIN
    local arch=$1 tree=$2 toolchain=$3
    if [ $build = 1 ]; then
        if [ ! -f "$tree/build.ninja" ]; then
            local tests=ON
            [ "$arch" = x86 ] && tests=OFF
            cmake -S . -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
                -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_TESTS=$tests >/dev/null
        fi
        cmake --build "$tree" >/dev/null
    fi
    local missing=()
    for f in Tamsel.exe "User Manual.pdf" pic; do
        [ -e "$tree/$f" ] || missing+=("$f")
    done
    if [ ${#missing[@]} -ne 0 ]; then
        echo "package: $tree lacks: ${missing[*]}" >&2
        echo "  (pic is the rendered skin, User Manual.pdf the rendered manual: both come from building the tree)" >&2
        exit 1
    fi
    tree=$(cd "$tree" && pwd)
    local name=Tamsel-$version-$arch
    makensis -V2 -DARCH="$arch" -DSRCDIR="$tree" -DVERSION="$version" \
        -DOUTFILE="$out/$name-setup.exe" packaging/tamsel.nsi
    local stage=$out/.stage
    rm -rf "$stage" && mkdir -p "$stage/$name"
    cp -r "$tree/Tamsel.exe" "$tree/User Manual.pdf" "$tree/pic" "$stage/$name/"
    rm -f "$out/$name-portable.zip"
    (cd "$stage" && cmake -E tar cf "$out/$name-portable.zip" --format=zip "$name")
    rm -rf "$stage"
}

package x64 "$win64" cmake/mingw-x86_64.cmake
package x86 "$win32" cmake/mingw-i686.cmake
echo "Packages in $out:"
for f in "$out"/Tamsel-"$version"-*; do
    printf '  %-36s %s\n' "$(basename "$f")" "$(du -h "$f" | cut -f1)"
done
