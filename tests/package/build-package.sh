#!/bin/sh
# Packages a build tree with its packaging rules and unpacks the package:
#   build-package.sh CPACK CPACK_CONFIG OUT
# OUT/ receives the .deb and OUT/root/ its unpacked files. The package is
# left uncompressed: only its contents are checked, and compressing
# sanitizer builds would cost minutes.
set -eu
cpack=$1
config=$2
out=$3
rm -rf "$out"
mkdir -p "$out"
if ! "$cpack" --config "$config" -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=none >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
set -- "$out"/brevio_*.deb
if [ ! -f "$1" ] || [ $# -ne 1 ]; then
  echo "no single package in $out:" "$@"
  exit 1
fi
dpkg-deb -x "$1" "$out/root"
echo "unpacked $1"
