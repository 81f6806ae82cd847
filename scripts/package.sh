#!/usr/bin/env bash
# Builds the Debian packages (quillora, varnel-server) into OUTDIR and
# checks them with lintian.
#   bash scripts/package.sh OUTDIR             a clean build in build/package
#   bash scripts/package.sh OUTDIR BUILD_DIR   reuses an existing build tree
#                                              (CI: the release build)
# CMake options can be added through QUILLORA_PACKAGE_CMAKE_ARGS (for example
# -DQUILLORA_SITE_HOST=community.example.org).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: scripts/package.sh OUTDIR [BUILD_DIR]" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
if [ $# -ge 2 ]; then
  build=$(cd "$2" && pwd)
else
  build=$here/build/package
  rm -rf "$build"
fi

# A fresh tree may compile through ccache; a tree being reused keeps its own
# compile commands, or every object would be built again.
launcher=()
[ $# -lt 2 ] && command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The installed layout is Debian's: programs in /usr/bin, configuration in /etc.
# shellcheck disable=SC2086
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DCMAKE_INSTALL_PREFIX=/usr -DQUILLORA_WERROR=ON "${launcher[@]}" ${QUILLORA_PACKAGE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target quillora varnel-server varnel-call packaging_files
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)

rm -f "$out"/quillora_*.deb "$out"/varnel-server_*.deb
cp "$build"/cpack/quillora_*.deb "$build"/cpack/varnel-server_*.deb "$out"/
ls -l "$out"/*.deb

if command -v lintian >/dev/null; then
  # Tags that do not apply to these packages, each with its reason, are
  # listed in packaging/debian/lintian-suppress.
  suppress=$(grep -v -e '^#' -e '^$' "$here/packaging/debian/lintian-suppress" | awk '{print $1}' | paste -sd, - || true)
  lintian --fail-on error,warning ${suppress:+--suppress-tags "$suppress"} "$out"/quillora_*.deb \
    "$out"/varnel-server_*.deb
fi
