#!/usr/bin/env bash
# SiteHarvest: set up, build, and either start the program or run every test.
#   ./siteharvest.sh run    install what is missing, build, start the window
#   ./siteharvest.sh test   install what is missing, build, run every test headless, also
#                           under ASan+UBSan and TSan, fuzz briefly, run the benchmarks
#                           once and check the Debian package (--quick: the release tests
#                           only)
#   ./siteharvest.sh package  install what is missing, build, and make the Debian package
#                           build/siteharvest_<version>_<arch>.deb
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
    echo "-- bench_reply_memory"
    build/bin/bench_reply_memory
    for bench in build/bin/bench_app build/bin/bench_*window* build/bin/bench_suggestion_line; do
        [ -x "$bench" ] || continue
        echo "-- ${bench##*/}"
        QT_QPA_PLATFORM=offscreen "$bench"
    done
}

# Builds the Debian package from build/ and prints its path.
make_package() {
    if ! (cd build && cpack --config CPackConfig.cmake >cpack.log 2>&1); then
        cat build/cpack.log >&2
        die "cpack failed (build/cpack.log)"
    fi
    local deb
    deb=$(ls -t build/siteharvest_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || die "cpack made no package in build/"
    echo "$deb"
}

cmd_package() {
    install_missing_packages
    build
    local deb
    deb=$(make_package)
    echo "siteharvest: $deb"
}

# The package as a user gets it: lintian finds no error, and the programs unpacked from it
# answer, find their data folder and harvest from the stand-in.
PACKAGE_SCRATCH=""
STANDIN_PID=""
end_package_check() {
    [ -z "$STANDIN_PID" ] || kill "$STANDIN_PID" 2>/dev/null || true
    [ -z "$PACKAGE_SCRATCH" ] || rm -rf "$PACKAGE_SCRATCH"
    STANDIN_PID=""
    PACKAGE_SCRATCH=""
}

run_package_check() {
    step "Debian package"
    local deb version scratch host=""
    deb=$(make_package)
    echo "$deb"
    dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Maintainer\|Version\):/  \1:/p'

    scratch=$(mktemp -d)
    PACKAGE_SCRATCH=$scratch
    trap end_package_check EXIT

    # Warnings and notes are listed; errors fail. (The line about running as root is
    # lintian's own advice, not a finding.)
    echo "lintian:"
    if ! lintian --display-level '>=info' --fail-on error "$deb" >"$scratch/lintian" 2>&1
    then
        cat "$scratch/lintian"
        die "lintian found errors in $deb"
    fi
    grep -v 'running with root privileges' "$scratch/lintian" || echo "  (nothing)"

    dpkg-deb --extract "$deb" "$scratch/root"
    local bin=$scratch/root/usr/bin out
    version=$(dpkg-deb --field "$deb" Version)
    out=$("$bin/siteharvest-cli" --version)
    [ "$out" = "siteharvest-cli $version" ] || die "unpacked siteharvest-cli --version: $out"
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/siteharvest" --version)
    [ "$out" = "SiteHarvest $version" ] || die "unpacked siteharvest --version: $out"

    # Installed, the program's directory is the user's data folder.
    local data=$scratch/data/siteharvest
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$scratch/data" "$bin/siteharvest" --help)
    grep -qxF "  $data" <<<"$out" || die "unpacked siteharvest does not name $data: $out"

    build/bin/siteharvest-standin --port 0 >"$scratch/standin.log" &
    STANDIN_PID=$!
    for _ in $(seq 100); do
        host=$(sed -n 's/^listening on //p' "$scratch/standin.log")
        [ -n "$host" ] && break
        sleep 0.1
    done
    [ -n "$host" ] || die "the stand-in did not start"

    # The exclusion file in the data folder drops every .example site.
    mkdir -p "$data"
    printf '.example\r\n' >"$data/排除网址.txt"
    env -i PATH="$PATH" HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" \
        SITEHARVEST_SEARCH_HOST="$host" \
        "$bin/siteharvest-cli" search --pages 2 北京公司 >"$scratch/sites.txt" ||
        die "unpacked siteharvest-cli search failed"
    grep -q '^http://.*\.test/' "$scratch/sites.txt" || die "the search listed no site"
    if grep -q '\.example' "$scratch/sites.txt"; then
        die "the search ignored the exclusion file in $data"
    fi
    echo "unpacked programs: version $version; a search listed $(wc -l <"$scratch/sites.txt")" \
        "sites, without the .example ones that $data/排除网址.txt excludes"
    end_package_check
    trap - EXIT
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
    run_package_check
}

case "${1:-}" in
    run) shift; cmd_run "$@" ;;
    test) shift; cmd_test "$@" ;;
    package) shift; cmd_package "$@" ;;
    *) echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac
