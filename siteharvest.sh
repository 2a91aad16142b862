#!/usr/bin/env bash
# SiteHarvest: set up, build, and either start the program or run every test.
#   ./siteharvest.sh run    install what is missing, build, start the window
#   ./siteharvest.sh test   install what is missing, build, run every test headless
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

cmd_test() {
    install_missing_packages
    build
    QT_QPA_PLATFORM=offscreen ctest --preset release -j "$(nproc)"
}

case "${1:-}" in
    run) shift; cmd_run "$@" ;;
    test) shift; cmd_test "$@" ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
