#!/usr/bin/env bash
# Builds both targets and writes build/dist/plugin-inspector-VERSION.zip with the 32-bit and the
# 64-bit inspector and a short readme. The version comes from the CMake project, nowhere else.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh win64
./scripts/build.sh win32 win64

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
[ -n "$version" ] || { echo "package: no project version in build/win32/CMakeCache.txt" >&2; exit 1; }

stage="build/dist/plugin-inspector-$version"
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
cp build/win32/plugin-inspector.exe "$stage/plugin-inspector-x86.exe"
cp build/win64/plugin-inspector.exe "$stage/plugin-inspector-x64.exe"
sed "s/@VERSION@/$version/g" scripts/package-readme.txt | sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$stage/readme.txt"

(cd build/dist && cmake -E tar cf "plugin-inspector-$version.zip" --format=zip "plugin-inspector-$version")
echo "package: build/dist/plugin-inspector-$version.zip"
