#!/bin/sh
# Runs the test suite three ways and fails as soon as one of them fails:
#   1. CTest in the given build folder;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      in <build>-asan, where a report from any process, even one whose exit
#      status nobody checks, fails the stage;
#   3. each libFuzzer target, built with clang in <build>-fuzz, for a bounded
#      time from the seed corpus in tests/fuzz/corpus.
# Between 1 and 2, the browser build (build-web, as `make web` makes it) and
# its page tests in headless Chromium, and Firefox and WebKitGTK under the
# display (tests/web/*_test.mjs, one after another).
# GL tests need an X display: without one each run goes under a virtual
# framebuffer (Mesa's llvmpipe renders). The unit tests (GoogleTest cases,
# whose names hold a dot) run in parallel; the end-to-end runs of the programs
# run one at a time, since they share the display and find their windows by
# title, so two at once could press keys in each other's window.
# XMASTRACE_FUZZ_SECONDS sets the time per fuzz target (default 60);
# XMASTRACE_SANITIZERS=0 stops after stage 1, for a quick run while working;
# XMASTRACE_ASAN_BUILD and XMASTRACE_FUZZ_BUILD name other folders for 2 and 3.
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
ASAN=${XMASTRACE_ASAN_BUILD:-$BUILD-asan}
FUZZ=${XMASTRACE_FUZZ_BUILD:-$BUILD-fuzz}
FUZZ_SECONDS=${XMASTRACE_FUZZ_SECONDS:-60}
JOBS=$(nproc)
SUPPRESSIONS="$ROOT/tools/sanitizers"

fail() {
  echo "FAILED: $1" >&2
  exit 1
}

stage_start=0
begin() {
  echo "== $1"
  stage_start=$(date +%s)
}
passed() { echo "== $1 passed in $(($(date +%s) - stage_start)) s"; }

. "$ROOT/tools/virtual-display.sh"

# A build whose output only matters when it fails.
quiet_build() {
  log="$1/build.log"
  shift
  "$@" >"$log" 2>&1 || {
    tail -n 60 "$log"
    return 1
  }
}

# run_suite FOLDER: the unit tests, then the program runs.
run_suite() {
  (cd "$1" && on_display sh -c "ctest --output-on-failure -j$JOBS -R '[.]' &&
                                ctest --output-on-failure -j1 -E '[.]'")
}

begin "tests ($BUILD)"
run_suite "$BUILD" || fail "tests"
passed "tests"

WEB=${XMASTRACE_WEB_BUILD:-$ROOT/build-web}
begin "browser build ($WEB)"
mkdir -p "$WEB"
export NODE_PATH=/usr/share/nodejs
[ -f "$WEB/CMakeCache.txt" ] || quiet_build "$WEB" emcmake cmake -S "$ROOT" -B "$WEB" \
  -DCMAKE_BUILD_TYPE=Release || fail "browser configure"
quiet_build "$WEB" cmake --build "$WEB" -j"$JOBS" || fail "browser build"
# The test driver for Chromium, at the version the lock file pins.
[ -d "$ROOT/web/node_modules/playwright-core" ] ||
  (cd "$ROOT/web" && npm ci --no-audit --no-fund >/dev/null) || fail "npm ci in web/"
passed "browser build"

begin "page tests in Chromium, Firefox and WebKitGTK"
for script in "$ROOT"/tests/web/*_test.mjs; do
  on_display node "$script" "$WEB" "$BUILD/xmastrace_render" "$ROOT/run" || fail "page tests ($script)"
done
passed "page tests"

[ "${XMASTRACE_SANITIZERS:-1}" = 0 ] && exit 0
mkdir -p "$ASAN" "$FUZZ"
ASAN=$(cd "$ASAN" && pwd)
FUZZ=$(cd "$FUZZ" && pwd)

begin "sanitizer build ($ASAN)"
quiet_build "$ASAN" cmake -S "$ROOT" -B "$ASAN" -DCMAKE_BUILD_TYPE=Release -DXMASTRACE_SANITIZE=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE || fail "sanitizer configure"
quiet_build "$ASAN" cmake --build "$ASAN" -j"$JOBS" || fail "sanitizer build"
passed "sanitizer build"

begin "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
reports="$ASAN/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Leaks are looked for in the unit tests without GL. In a GL test the
# driver's threads may still be ending when the leak check stops the world at
# exit, and the checker's own tracer may then crash ("Tracer caught signal
# 11", seen in a GL test), which fails a sound run. The programs unload the
# GL driver when they close the display, and whatever the driver still held
# then shows up as leaked from an unknown module that no suppression can
# name. The GL tests and the program runs check everything else.
(
  checks="log_path=$reports/asan:strict_init_order=1:check_initialization_order=1"
  export ASAN_OPTIONS="$checks:detect_leaks=1"
  export LSAN_OPTIONS="suppressions=$SUPPRESSIONS/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
  cd "$ASAN" || exit 1
  on_display ctest --output-on-failure -j"$JOBS" -R '[.]' -LE gl || exit 1
  export ASAN_OPTIONS="$checks:detect_leaks=0"
  on_display ctest --output-on-failure -j"$JOBS" -R '[.]' -L gl || exit 1
  on_display ctest --output-on-failure -j1 -E '[.]'
) || status=1
if [ -n "$(ls "$reports")" ]; then
  for report in "$reports"/*; do
    echo "--- $report"
    cat "$report"
  done
  fail "sanitizer reports (above)"
fi
[ -z "$status" ] || fail "tests under the sanitizers"
passed "sanitizer tests"

begin "fuzz build ($FUZZ)"
command -v clang++ >/dev/null || fail "the fuzz targets need clang++"
quiet_build "$FUZZ" cmake -S "$ROOT" -B "$FUZZ" -DCMAKE_BUILD_TYPE=Release -DXMASTRACE_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_TESTING=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE || fail "fuzz configure"
quiet_build "$FUZZ" cmake --build "$FUZZ" -j"$JOBS" --target obj_loader_fuzzer header_export_fuzzer ||
  fail "fuzz build"
passed "fuzz build"

# fuzz NAME DICTIONARY CORPUS: new inputs go to a working corpus in the build
# folder, never into the seeds; a crash leaves its input in artifacts/.
fuzz() {
  begin "fuzzing $1 for $FUZZ_SECONDS s"
  work="$FUZZ/corpus/$1"
  mkdir -p "$work" "$FUZZ/artifacts"
  log="$FUZZ/$1.log"
  if "$FUZZ/tests/fuzz/$1" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
    -dict="$ROOT/tests/fuzz/$2" -artifact_prefix="$FUZZ/artifacts/$1-" -print_final_stats=1 \
    "$work" "$ROOT/tests/fuzz/corpus/$3" >"$log" 2>&1; then
    grep -E "^stat::number_of_executed_units|^Done" "$log" | tail -n 1
    passed "$1"
  else
    tail -n 60 "$log"
    echo "the input that failed is in $FUZZ/artifacts; add it to tests/fuzz/corpus/$3 once fixed"
    fail "$1"
  fi
}
fuzz obj_loader_fuzzer obj.dict obj
fuzz header_export_fuzzer glsl.dict header
