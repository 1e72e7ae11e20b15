#!/bin/sh
# Builds the configuration readers' fuzz targets with clang and runs each for
# a few seconds on the seed files; fails on any crash, leak or sanitizer
# report. Exits 77 (reported as skipped) when clang with libFuzzer is missing.
#
# usage: run-fuzz.sh <build folder> [seconds per target]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=${1:?build folder}
seconds=${2:-4}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found: fuzz targets skipped"
  exit 77
fi
mkdir -p "$work"
probe="$work/probe.cpp"
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe" -o "$work/probe" >/dev/null 2>&1; then
  echo "clang++ cannot build libFuzzer programs: fuzz targets skipped"
  exit 77
fi

# Flags from the calling build (GCC's) must not leak into the clang build.
unset CFLAGS CXXFLAGS LDFLAGS CPPFLAGS
launcher=""
if command -v ccache >/dev/null 2>&1; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
generator=""
if command -v ninja >/dev/null 2>&1; then
  generator="-G Ninja"
fi
# shellcheck disable=SC2086
cmake -S "$here/fuzz" -B "$work/build" $generator -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=None $launcher -Wno-dev >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Each input goes through a scratch file: keep it in memory when possible.
scratch=""
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/settora-fuzz.XXXXXX 2>/dev/null || true)
fi
[ -n "$scratch" ] || scratch=$(mktemp -d "$work/scratch.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export SETTORA_FUZZ_SCRATCH="$scratch"
mkdir -p "$work/artifacts"

status=0
for target in control language logfont applist upgrade userstore; do
  corpus="$work/corpus/$target"
  mkdir -p "$corpus"
  # New inputs go to the first folder (the build tree); the seeds are only read.
  if "$work/build/fuzz_$target" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
      -rss_limit_mb=2048 -dict="$here/fuzz/xml.dict" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$target-" \
      "$corpus" "$here/seeds/$target" >"$work/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -E '^stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}') inputs, clean"
  else
    echo "fuzz_$target FAILED:"
    tail -n 60 "$work/$target.log"
    status=1
  fi
done
exit $status
