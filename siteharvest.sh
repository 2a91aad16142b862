#!/usr/bin/env bash
# SiteHarvest: set up, build, and either start the program or run every test.
#   ./siteharvest.sh run    install what is missing, build, start the window
#   ./siteharvest.sh test   install what is missing, build, run every test headless, also
#                           under ASan+UBSan and TSan, fuzz briefly and run the benchmarks
#                           once (--quick: the release tests only)
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

die() { echo "siteharvest: $*" >&2; exit 1; }

# Installs the Debian packages listed in deps/apt-packages.txt that are not installed yet.
install_missing_packages() {
    local missing=() pkg
    while read -r pkg; do
        pkg=${pkg%%#*}; pkg=${pkg//[[:space:]]/}
        [ -n "$pkg" ] || continue
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done < deps/apt-packages.txt
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "siteharvest: installing ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || die "need root or sudo to install: ${missing[*]}"
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    cmake --preset release >/dev/null
    cmake --build --preset release
}

cmd_run() {
    install_missing_packages
    build
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
       [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
        die "no display found (DISPLAY and WAYLAND_DISPLAY are empty).
Start it on a desktop session, or without one:
  xvfb-run -a ./siteharvest.sh run                    # a virtual X display
  QT_QPA_PLATFORM=offscreen ./siteharvest.sh run      # no screen at all"
    fi
    exec build/bin/siteharvest "$@"
}

step() { printf '\n==== %s\n' "$*"; }

# Every test of the release build, headless.
run_release_tests() {
    step "tests (release)"
    QT_QPA_PLATFORM=offscreen ctest --preset release -j "$(nproc)"
}

# The whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer.
run_asan_tests() {
    step "tests under ASan + UBSan"
    cmake --preset asan >/dev/null
    cmake --build --preset asan
    ctest --preset asan -j "$(nproc)"
}

# The code that runs on several threads, under ThreadSanitizer.
run_tsan_tests() {
    step "web and harvest tests under TSan"
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan --target web_tests harvest_tests
    ctest --preset tsan -j "$(nproc)" -L threads
}

# Each libFuzzer target for a bounded time, starting from the committed seeds; new
# inputs go to a scratch corpus, never into the repository.
run_fuzzers() {
    local seconds=${SH_FUZZ_SECONDS:-60} target scratch
    step "fuzzing, ${seconds} s per target"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
    for target in fuzz_extract fuzz_matcher fuzz_markup; do
        scratch=$(mktemp -d)
        build-fuzz/bin/$target -max_total_time="$seconds" -timeout=10 -max_len=65536 \
            -print_final_stats=1 "$scratch" "fuzz/corpus/$target" 2>&1 | tail -n 12
        rm -rf "$scratch"
    done
}

# Every benchmark once, briefly, so they keep building and running; prints their figures.
run_benchmarks() {
    step "benchmarks (one short pass each)"
    local bench
    for bench in bench_text bench_harvest bench_web bench_cli; do
        echo "-- $bench"
        build/bin/$bench --benchmark_min_time=0.01
    done
    for bench in build/bin/bench_app build/bin/bench_*window*; do
        [ -x "$bench" ] || continue
        echo "-- ${bench##*/}"
        QT_QPA_PLATFORM=offscreen "$bench"
    done
}

cmd_test() {
    install_missing_packages
    build
    case "${1:-}" in
        --quick) run_release_tests; return ;;
        "") ;;
        *) die "unknown option for test: $1 (only --quick)" ;;
    esac
    run_benchmarks
    run_fuzzers
    run_tsan_tests
    run_asan_tests
    run_release_tests
}

case "${1:-}" in
    run) shift; cmd_run "$@" ;;
    test) shift; cmd_test "$@" ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
