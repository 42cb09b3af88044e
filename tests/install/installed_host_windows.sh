#!/usr/bin/env bash
# The Windows package: installs the cross build into a scratch prefix, builds
# a host against the installed CMake package with the same toolchain, and runs
# it under wine with the DLLs from the package's bin/ and the host's own C++
# runtime from the toolchain (WINEPATH), without and with a virtual drive named
# with a Windows path.
set -euo pipefail
build=$1 source=$2 toolchain=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source" -B "$work/host" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DOrletMediaBurning_DIR="$work/prefix/lib/cmake/OrletMediaBurning" >/dev/null
cmake --build "$work/host" >/dev/null
for dll in OrletMediaBurning.dll OrletBases.dll StarBurn.dll; do
  [ -f "$work/prefix/bin/$dll" ] || { echo "no $dll in bin/"; exit 1; }
done
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER \(.*\))$/\1/p' "$toolchain")
runtime=$(dirname "$("$compiler" -print-file-name=libstdc++-6.dll)")
threads=$(dirname "$("$compiler" -print-file-name=libwinpthread-1.dll)")
windows() { echo "Z:${1//\//\\}"; }
export WINEPATH="$(windows "$work/prefix/bin");$(windows "$runtime");$(windows "$threads")"
export WINEDEBUG=-all
wine "$work/host/host.exe"
STARBURN_VIRTUAL_DRIVES="cd-r=Z:${work//\//\\}\\a.iso" wine "$work/host/host.exe" 1
echo "installed Windows package: ok"
