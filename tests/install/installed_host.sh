#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a host against the
# installed CMake package, and another against the pkg-config file; both run.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source" -B "$work/host" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/host" >/dev/null
"$work/host/host"
# A host that knows nothing of virtual drives finds the one the environment lists.
STARBURN_VIRTUAL_DRIVES="cd-r=$work/a.iso" "$work/host/host" 1
libdir=$(find "$work/prefix" -name 'orlet-media-burning.pc' -printf '%h\n' | head -1)
flags=$(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs orlet-media-burning)
# shellcheck disable=SC2086
g++ -std=c++17 "$source/main.cpp" -o "$work/pc-host" $flags -Wl,-rpath,"$libdir/.."
"$work/pc-host"
# What a user of the tool and a packager find: the man page (of this
# version), the completion, libraries with versioned names.
grep -q "^\.TH ORLET-BURN 1 .*orlet-burn [0-9]" "$work/prefix/share/man/man1/orlet-burn.1" ||
  { echo "no man page"; exit 1; }
[ -f "$work/prefix/share/bash-completion/completions/orlet-burn" ] || { echo "no completion"; exit 1; }
find "$work/prefix" -name 'libOrletMediaBurning.so.1' | grep -q . || { echo "no SONAME link"; exit 1; }
# The API pages, where Doxygen made them (scripts/setup installs it).
if command -v doxygen >/dev/null; then
  grep -q "GetLibraryVersion" "$work/prefix/share/doc/OrletMediaBurning/api/Version_8h.html" ||
    { echo "no API pages"; exit 1; }
fi
echo "installed package: ok"
