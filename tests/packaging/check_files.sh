#!/usr/bin/env bash
# Checks of the files that are installed beside the programs, one check per call:
#   check_files.sh desktop FILE          desktop-file-validate: no error, no warning
#   check_files.sh metainfo FILE         appstreamcli: no error, and no warning but the ID's
#   check_files.sh man PAGE...           every page renders without a groff warning
#   check_files.sh icons DIR             DIR/NxN/siteharvest.png is N by N pixels
#   check_files.sh versions VERSION METAINFO CHANGELOG
#                                        the newest release of both is VERSION
#   check_files.sh options PROGRAM MANPAGE COMPLETION
#                                        every option PROGRAM's help names is in both
set -uo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

check_desktop() {
    local out
    out=$(desktop-file-validate "$1" 2>&1) || { echo "$out"; fail "desktop-file-validate $1"; }
    [ -n "$out" ] && echo "$out"
    if grep -qE '(error|warning):' <<<"$out"; then fail "desktop-file-validate $1"; fi
    return 0
}

# The one warning allowed: the ID is not a reverse domain name, as we own no domain.
check_metainfo() {
    local out
    out=$(appstreamcli validate --no-net --pedantic --no-color "$1" 2>&1)
    echo "$out"
    if grep -E '^[EW]:' <<<"$out" | grep -vq 'cid-desktopapp-is-not-rdns'; then
        fail "appstreamcli validate $1"
    fi
    grep -q 'Validation' <<<"$out" || fail "appstreamcli gave no verdict on $1"
}

check_man() {
    local page out
    for page in "$@"; do
        [ -s "$page" ] || fail "no man page $page"
        out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
              man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [ -z "$out" ] || { echo "$out"; fail "man warns about $page"; }
    done
}

# Width and height of a PNG, from its IHDR chunk (big-endian, bytes 16 to 23).
png_size() {
    local b
    read -ra b < <(od -An -tu1 -j16 -N8 "$1")
    [ ${#b[@]} -eq 8 ] || return 1
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

check_icons() {
    local dir=$1 size png
    for size in 48x48 128x128 256x256; do
        png=$dir/$size/siteharvest.png
        [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
            fail "$png is not a PNG"
        [ "$(png_size "$png")" = "$size" ] || fail "$png is $(png_size "$png"), not $size"
    done
    grep -q '<svg' "$dir/siteharvest.svg" || fail "$dir/siteharvest.svg is not an SVG"
}

check_versions() {
    local version=$1 metainfo=$2 changelog=$3 newest
    newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
    [ "$newest" = "$version" ] || fail "newest release in $metainfo is '$newest', not $version"
    newest=$(sed -n '1s/^[a-z0-9.+-]* (\([^)]*\)).*/\1/p' "$changelog")
    [ "$newest" = "$version" ] || fail "newest entry in $changelog is '$newest', not $version"
}

# Options as the program's help lists them: --name words at the start of a help line.
help_options() {
    "$1" --help
    "$1" search --help
    "$1" suggest --help
}

check_options() {
    local program=$1 manpage=$2 completion=$3 option missing=0 helptext
    helptext=$(help_options "$program") || fail "$program --help failed"
    local man_text
    man_text=$(sed 's/\\-/-/g' "$manpage")
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$helptext" | sort -u); do
        grep -qF -- "$option" <<<"$man_text" || { echo "not in $manpage: $option"; missing=1; }
        [ "$option" = --version ] && continue  # answered before any command; not completed
        grep -qwF -- "$option" "$completion" || { echo "not in $completion: $option"; missing=1; }
    done
    [ "$missing" -eq 0 ] || fail "options missing from the man page or the completion"
}

what=$1
shift
case $what in
    desktop | metainfo | man | icons | versions | options) "check_$what" "$@" ;;
    *) fail "unknown check $what" ;;
esac
echo "ok: $what"
