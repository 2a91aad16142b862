#!/usr/bin/env bash
# The bash completion of siteharvest-cli, driven as bash drives it: a command line with
# the cursor at its end, and the words that Tab offers.
#   completion_test.sh COMPLETION_FILE
set -uo pipefail

completion=$1
source /usr/share/bash-completion/bash_completion || exit 1
source "$completion" || exit 1
# compopt only works while bash itself completes; what it would change is not checked here.
compopt() { :; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/lists"
touch "$scratch/lists/keywords.txt" "$scratch/lists/排除网址.txt"
cd "$scratch" || exit 1

# Prints what Tab offers at the end of the line, sorted, space-separated.
offers() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _siteharvest_cli siteharvest-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

search_options='--delay --encoding --exclude --format --help --keywords --output --pages --proxy --timeout --user-agent --verbose'
suggest_options='--encoding --help --proxy --timeout --user-agent --verbose'

failures=0
while IFS='|' read -r line expected; do
    [[ -z $line || $line == '#'* ]] && continue
    got=$(offers "$line")
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line': expected '$expected', got '$got'"
        failures=$((failures + 1))
    fi
done <<EOF_CASES
# line|what Tab offers
siteharvest-cli |help search suggest
siteharvest-cli s|search suggest
siteharvest-cli -|--help --version
siteharvest-cli help |search suggest
siteharvest-cli help search |
siteharvest-cli search -|$search_options
siteharvest-cli search --p|--pages --proxy
siteharvest-cli search 北京 --o|--output
siteharvest-cli suggest --|$suggest_options
siteharvest-cli search -f |json titled tsv urls
siteharvest-cli search --format t|titled tsv
siteharvest-cli search --format=t|titled tsv
siteharvest-cli search -e |gbk utf-8
siteharvest-cli suggest --encoding u|utf-8
siteharvest-cli search --proxy s|socks5:// socks5h://
siteharvest-cli search -p |
siteharvest-cli search --user-agent |
siteharvest-cli search -x lists/|lists/keywords.txt lists/排除网址.txt
siteharvest-cli search -k |- lists
siteharvest-cli search -o lists/k|lists/keywords.txt
siteharvest-cli search -- -|
siteharvest-cli search x -- --p|
EOF_CASES

[ "$failures" -eq 0 ] || exit 1
echo "ok: completion"
