#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine:
#  1. installs the Debian packages that are missing (needs root or sudo),
#  2. builds and tests a plain configuration (build/plain); it compiles every source file on
#     its own (no unity batches), so a file that lacks an include fails here,
#  3. builds and tests with AddressSanitizer + UndefinedBehaviorSanitizer (build/asan); the
#     build runs beside the plain tests,
#  4. runs the parameter-file fuzzer for a fixed time (build/fuzz),
#  5. installs the plain build into build/stage and builds the example host program
#     against the installed package, then runs it against the simulator,
#  6. the Windows side: cross build, tests under wine, zip and installer
#     (scripts/windows-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

ensure_packages "${MORAVEL_PACKAGES[@]}"
ensure_german_locale

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1}
# Four at a time: most tests wait on the serial line, but each exchange must be answered within
# the controller's 100 ms window, and more processes than that on two cores can delay a reply.
ctest_jobs=${CTEST_JOBS:-4}

echo "== Plain build"
# Line tables only (-g1): enough for stack traces, and a fraction of the compile time. Without
# unity batches the build takes about twice the processor time but, spread over both cores,
# hardly longer.
configure_and_build build/plain -DCMAKE_UNITY_BUILD=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

# The sanitizer build compiles while the plain tests run: they mostly wait on the serial line,
# and the suite is made to pass under load (scripts/stress-tests.sh). The build runs at the
# lowest priority, so it takes only the time the tests leave.
echo "== Sanitizer build (ASan + UBSan), in the background: build/asan.log"
# A session of its own, so that a failing plain test run stops the whole build with it.
export -f configure_and_build
setsid nice -n 19 bash -c 'configure_and_build "$@"' asan-build build/asan -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" -DMORAVEL_SANITIZE=ON -DMORAVEL_BUILD_BENCH=OFF \
  >build/asan.log 2>&1 &
asan_build=$!
trap 'kill -- -"$asan_build" 2>/dev/null || true' EXIT

echo "== Plain tests"
ctest --test-dir build/plain --output-on-failure -j "$ctest_jobs" --timeout 180

echo "== Sanitizer tests"
if ! wait "$asan_build"; then
  tail -n 60 build/asan.log >&2
  echo "error: the sanitizer build failed (build/asan.log)" >&2
  exit 1
fi
trap - EXIT
ctest --test-dir build/asan --output-on-failure -j "$ctest_jobs" --timeout 300

if [ -d tests/fuzz ]; then
  echo "== Fuzzing the parameter-file reader"
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DMORAVEL_FUZZ=ON -DMORAVEL_BUILD_GUI=OFF -DMORAVEL_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j "$(nproc)" --target fuzz_read_text
  rm -rf build/fuzz/corpus && mkdir -p build/fuzz/corpus
  build/fuzz/tests/fuzz/fuzz_read_text -max_total_time="${FUZZ_SECONDS:-30}" -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=1 build/fuzz/corpus tests/fuzz/corpus
fi

if [ -f examples/CMakeLists.txt ]; then
  echo "== Example host program against the installed library"
  rm -rf build/stage build/example
  cmake --install build/plain --prefix "$PWD/build/stage" >/dev/null
  cmake -S examples -B build/example -G Ninja -DCMAKE_PREFIX_PATH="$PWD/build/stage" >/dev/null
  cmake --build build/example
  pc_dir=$(dirname "$(find build/stage -name quorlink.pc | head -n 1)")
  cc -Wall -Wextra -Werror -o build/example/read_position_pc examples/read_position.c \
    $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs quorlink) -Wl,-rpath,"$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir quorlink)"
  build/plain/sim/quorlink-sim --ports COM3 -- build/example/read_position
  build/plain/sim/quorlink-sim --ports COM3 -- build/example/read_position_pc
fi

scripts/package-check.sh

QUORLINK_SIM=$PWD/build/plain/sim/quorlink-sim scripts/windows-test.sh
echo "== All tests passed"
