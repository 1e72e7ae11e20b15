#!/bin/sh
# The libFuzzer targets of every reader of outside input, built with clang in
# a tree of their own.
#
#   run-fuzz.sh build <work folder>
#       configures and builds the targets (exit 77, reported as skipped,
#       when clang with libFuzzer is missing)
#   run-fuzz.sh run <work folder> <seconds> <target> [extra libFuzzer flags]
#       fuzzes one target from its seed files and the corpus kept in the
#       work folder; fails on any crash, leak, time-out or sanitizer report
#       and prints the executions and the edge coverage reached
#   run-fuzz.sh all <work folder> <seconds>
#       builds, then runs every target in turn
#
# Short runs (ctest) use a fixed seed so that a failure can be repeated;
# `make fuzz` passes -seed=0 (a new one each time).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?mode}
work=${2:?work folder}

have_clang() {
  command -v clang++ >/dev/null 2>&1 || { echo "clang++ not found: fuzz targets skipped"; return 1; }
  mkdir -p "$work"
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$work/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$work/probe.cpp" -o "$work/probe" >/dev/null 2>&1 ||
    { echo "clang++ cannot build libFuzzer programs: fuzz targets skipped"; return 1; }
}

targets() {
  sed -n 's/^ *fuzz_target(\([a-z_${}]*\) .*/\1/p' "$here/targets/CMakeLists.txt" | grep -v '\$' 
  sed -n 's/^foreach(reader \(.*\))$/\1/p' "$here/targets/CMakeLists.txt" | tr ' ' '\n'
}

build() {
  have_clang || exit 77
  # Flags from the calling build (GCC's) must not leak into the clang build.
  unset CFLAGS CXXFLAGS LDFLAGS CPPFLAGS
  launcher=""
  command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
  generator=""
  command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
  # shellcheck disable=SC2086
  cmake -S "$here/targets" -B "$work/build" $generator -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=None $launcher -Wno-dev >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
  cmake --build "$work/build" -j "${FUZZ_JOBS:-2}" >"$work/build.log" 2>&1 ||
    { tail -n 80 "$work/build.log"; exit 1; }
  echo "fuzz targets built: $(targets | sort | tr '\n' ' ')"
}

run() {
  seconds=${1:?seconds}
  target=${2:?target}
  shift 2
  program="$work/build/fuzz_$target"
  if [ ! -x "$program" ]; then
    have_clang || exit 77
    echo "fuzz_$target is not built (run-fuzz.sh build $work first)"
    exit 1
  fi
  case $target in
    control|language|logfont|applist|upgrade|userstore) dict="$here/dicts/xml.dict" ;;
    *) dict="$here/dicts/$target.dict" ;;
  esac
  dictflag=""
  [ -f "$dict" ] && dictflag="-dict=$dict"
  seeds="$here/seeds/$target"
  [ -d "$seeds" ] || seeds=""
  corpus="$work/corpus/$target"
  mkdir -p "$corpus" "$work/artifacts"
  # Each target gets its own scratch folder, in memory when possible.
  scratch=""
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d /dev/shm/brevio-fuzz.XXXXXX 2>/dev/null || true)
  fi
  [ -n "$scratch" ] || scratch=$(mktemp -d "$work/scratch.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  export BREVIO_FUZZ_SCRATCH="$scratch"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$here/fuzz-lsan.supp:print_suppressions=0"
  export QT_QPA_PLATFORM=offscreen
  log="$work/$target.log"
  # New inputs go to the first folder (the work folder); the seeds are only read.
  # shellcheck disable=SC2086
  if "$program" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2560 \
      -seed=1 -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" $dictflag "$@" \
      "$corpus" $seeds >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -n 1)
    echo "fuzz_$target: $runs executions in ${seconds}s, edge $cov, clean"
  else
    echo "fuzz_$target FAILED (log $log, artifacts $work/artifacts):"
    tail -n 60 "$log"
    exit 1
  fi
}

case $mode in
  build) build ;;
  run) shift 2; run "$@" ;;
  all)
    seconds=${3:?seconds}
    build
    status=0
    for t in $(targets); do
      (run "$seconds" "$t" -seed=0) || status=1
    done
    exit $status
    ;;
  *) echo "usage: run-fuzz.sh build|run|all <work folder> ..." >&2; exit 2 ;;
esac
