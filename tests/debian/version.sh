#!/bin/sh
# The version is set once, in CMakeLists.txt; the newest entries of CHANGELOG.md and
# debian/changelog must carry the same one.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
cmake=$(sed -n 's/^project(qel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
changelog=$(sed -n 's/^## \([0-9][0-9.]*\).*/\1/p' "$root/CHANGELOG.md" | head -n 1)
debian=$(sed -n '1s/^qel (\([^)]*\)).*/\1/p' "$root/debian/changelog")
echo "CMakeLists.txt: $cmake, CHANGELOG.md: $changelog, debian/changelog: $debian"
[ -n "$cmake" ] || { echo "no project(qel VERSION ...) in CMakeLists.txt"; exit 1; }
# debian/changelog may add a Debian revision (3.10.15-2) to a non-native build of the same version.
[ "$changelog" = "$cmake" ] && [ "${debian%-*}" = "$cmake" ]
