#!/bin/sh
# Installs what building, running and testing Ferrowin needs on Debian: the
# MinGW-w64 compilers, 32- and 64-bit Wine, Xvfb, ImageMagick, CMake, the
# GoogleTest sources, clang-format, zip and the ru_RU.UTF-8 locale (Wine's code
# page 1251), and QEMU and a static busybox for the small machine that runs the
# 32-bit tests where the host cannot (scripts/vm-setup.sh) with zstd for its
# kernel modules, and pefile and capstone, with which the build writes the
# executables' load configuration and the checks read their bytes and code.
# Quiet and quick when all is there; works as root or via sudo.
set -eu

packages="cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest \
wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick clang-format locales zip \
qemu-system-x86 busybox-static zstd python3-pefile python3-capstone"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done

# Each step's output goes to a log, shown only when the step fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
step_who=bootstrap
. "$(dirname "$0")/step.sh"

if [ -n "$missing" ]; then
    echo "bootstrap: installing$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        step "adding the i386 architecture" $SUDO dpkg --add-architecture i386
    fi
    # A mirror caught mid-sync serves an index that does not match its
    # Release file: apt then keeps the others and fails. Tried again after a
    # pause; if it still fails, what apt said is shown and the install goes
    # on from the indexes that did arrive, failing by itself if a package is
    # not among them.
    tries=1
    until $SUDO apt-get update -qq >"$log" 2>&1; do
        [ "$tries" -lt 3 ] || {
            echo "bootstrap: apt-get update failed $tries times; installing from the indexes it fetched:" >&2
            grep -E '^(E|W):' "$log" >&2
            break
        }
        tries=$((tries + 1))
        sleep 20
    done
    # shellcheck disable=SC2086 # one word per package
    step "installing$missing" $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    echo "bootstrap: generating the ru_RU.UTF-8 locale" >&2
    step "generating the ru_RU.UTF-8 locale" $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
