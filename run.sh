#!/usr/bin/env bash
# kinetta's two commands:
#   ./run.sh        build and start the main job (see README.md)
#   ./run.sh test   build and run every test; non-zero exit on any failure
# Further jobs: ./run.sh fuzz [SECONDS]   run every fuzz target for SECONDS each
#               ./run.sh bench            build and run the benchmarks
#               ./run.sh package          build the Debian package into build/package
#               ./run.sh screenshot       the README's picture, docs/screenshot.png
# Missing Debian packages are installed first (root or sudo).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

install_deps() { bash "$ROOT/scripts/install-deps.sh"; }

configure_build() { # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$JOBS"
}

# Tests of windows and GL need a display; without one they run under a virtual X server.
with_display() {
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$@"
  else
    # -noreset: the server would otherwise reset whenever its last client leaves,
    # and a test starting at that moment could not connect.
    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"
  fi
}

# The window tests (label gui) once more on a smaller screen, so that no test
# holds only at one screen size. Always a virtual X server of that size.
SMALL_SCREEN=1366x768x24
# The resize, maximise and full-screen tests once more on a large screen.
LARGE_SCREEN=2560x1440x24

run_tests() {
  configure_build release
  with_display ctest --preset release -j "$JOBS"
  xvfb-run -a -s "-screen 0 $SMALL_SCREEN -noreset" ctest --preset release -j "$JOBS" -L '^gui$'
  xvfb-run -a -s "-screen 0 $LARGE_SCREEN -noreset" ctest --preset release \
    -R '^shell_window_manager_test\.'
  # The pure core once more under AddressSanitizer and UndefinedBehaviorSanitizer.
  configure_build asan
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --preset asan -j "$JOBS"
}

run_fuzz() {
  local seconds=${1:-60}
  configure_build fuzz
  bash "$ROOT/tests/fuzz/run-all.sh" "$ROOT/build/fuzz" "$seconds"
}

run_bench() {
  configure_build bench
  configure_build release # the movie player's figures (bench/player.sh) need Qt
  bash "$ROOT/bench/run-all.sh" "$ROOT/build/bench"
}

run_package() {
  configure_build release
  (cd "$ROOT/build/release" && cpack -G DEB -B "$ROOT/build/package")
  ls "$ROOT"/build/package/kinetta_*.deb
}

main_job() {
  configure_build release
  bash "$ROOT/scripts/main-job.sh" "$ROOT/build/release" "$@"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
install_deps
case "$cmd" in
  "") main_job ;;
  test) run_tests ;;
  fuzz) run_fuzz "$@" ;;
  bench) run_bench ;;
  package) run_package ;;
  screenshot) main_job --screenshot "$ROOT/docs/screenshot.png" ;;
  *) echo "usage: ./run.sh [test|fuzz [SECONDS]|bench|package|screenshot]" >&2; exit 2 ;;
esac
