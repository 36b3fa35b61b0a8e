#!/usr/bin/env bash
# The bash completion as a user meets it in a fresh shell: subcommands, options, profile titles
# from the settings file and site names from the catalogue, titles with spaces kept whole.
# Usage: completion.sh COMPLETION_FILE PROGRAM_DIR
set -uo pipefail
completion_file=$1
program_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

export XDG_CONFIG_HOME=$scratch/config PATH=$program_dir:$PATH
mkdir -p "$XDG_CONFIG_HOME/orv" "$scratch/home"
printf '[1]\ntitle=My Shop\n[2]\ntitle=none\n[3]\ntitle=Mystery\n[4]\ntitle=Other\n' >"$XDG_CONFIG_HOME/orv/orv.conf"
printf 'sitename,sitetype,data,method,action,referer\nOwn Engine (test),engine,q=[url],GET,http://127.0.0.1/,\n' >"$scratch/own.csv"
orvanta-catalogue build "$scratch/own.csv" "$scratch/home/orvd.dll" >/dev/null || exit 1

source /usr/share/bash-completion/bash_completion
source "$completion_file"

failures=0
# expect "what is typed" "the offers, one per line"
expect()
{
    local line=$1 wanted=$2
    # Split as the shell does for these lines: at spaces, except escaped ones.
    read -ra COMP_WORDS <<<"${line//\\ /$'\x1f'}"
    COMP_WORDS=("${COMP_WORDS[@]//$'\x1f'/\\ }")
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    local function
    function=$(complete -p "${COMP_WORDS[0]}" | sed -E 's/.*-F ([^ ]+).*/\1/')
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    if [[ $got != "$wanted" ]]; then
        printf 'FAIL: "%s"\n  wanted: %s\n  got:    %s\n' "$line" "${wanted//$'\n'/ | }" "${got//$'\n'/ | }"
        failures=$((failures + 1))
    fi
}

expect "orvanta " $'coverage\ngoogle\nhistory\nkey\nprofile\nprofiles\nschedule\nstatus\nsubmit'
expect "orvanta schedule r" $'remove\nrun'
expect "orvanta profile " $'delete\nexport\nimport\nlist\nnew\nset\nshow'
expect "orvanta google l" $'login\nlogout'
expect "orvanta su" "submit"
expect "orvanta submit --changed-pages --no" "--no-check"
expect "orvanta submit --changed-pages --change-signal c" "content"
expect "orvanta submit --pro" $'--profile\n--profile-slot'
expect "orvanta submit --profile " $'My Shop\nMystery\nOther'
expect "orvanta submit --profile My" $'My Shop\nMystery'
expect "orvanta submit --profile My\\ S" "My Shop"
expect "orvanta key " $'check\ngenerate'
expect "orvanta submit --type " $'engine\nlist'
expect "orvanta submit --site Ind" "IndexNow (Bing, Yandex, Seznam, Naver, Yep)"
expect "orvanta --home $scratch/home submit --site " "Own Engine (test)"
expect "orvanta submit --profile Other " ""
expect "orvanta-catalogue " $'--help\n--version\nbuild\ncheck\nexport\nlist'
expect "orvanta-catalogue ex" "export"

[[ $failures -eq 0 ]] && echo "completion: all offers as expected"
exit $((failures > 0))
