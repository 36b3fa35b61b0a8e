# bash completion for orvanta and orvanta-catalogue             -*- shell-script -*-
# Profile titles come from the program itself and site names from the catalogue it would use,
# so completion always offers what a command would accept.

# Offers the lines of standard input that start with the word being completed; the shell quotes
# what it inserts, so titles and names with spaces or brackets arrive as one argument.
_orvanta_offer_lines()
{
    local word line
    word=$(dequote "$cur" 2>/dev/null) || word=$cur
    COMPREPLY=()
    while IFS= read -r line; do
        [[ -n $line && $line == "$word"* ]] && COMPREPLY+=("$line")
    done
    compopt -o filenames 2>/dev/null
}

# The catalogue a submit would read: DIR/orvd.dll with --home DIR, else the one beside the program.
_orvanta_catalogue()
{
    local i program
    for ((i = 1; i < ${#words[@]} - 1; i++)); do
        if [[ ${words[i]} == --home ]]; then
            printf '%s/orvd.dll' "$(dequote "${words[i + 1]}")"
            return
        fi
    done
    program=$(readlink -f "$(command -v "${words[0]}")") || return
    printf '%s/orvd.dll' "${program%/*}"
}

_orvanta()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --home)
            _filedir -d
            return
            ;;
        --profile-slot)
            COMPREPLY=($(compgen -W '{1..20}' -- "$cur"))
            return
            ;;
        --profile)
            _orvanta_offer_lines < <("${words[0]}" profiles 2>/dev/null)
            return
            ;;
        --type)
            COMPREPLY=($(compgen -W 'engine list' -- "$cur"))
            return
            ;;
        --site)
            _orvanta_offer_lines < <(orvanta-catalogue list "$(_orvanta_catalogue)" 2>/dev/null | cut -f1)
            return
            ;;
        --client | --service-account)
            _filedir json
            return
            ;;
        --sitemap | --cool-down | --check-time | --last | --limit | --port | --timeout | --at | --include | --exclude)
            return
            ;;
        --change-signal)
            COMPREPLY=($(compgen -W 'lastmod content auto' -- "$cur"))
            return
            ;;
        key)
            COMPREPLY=($(compgen -W 'generate check' -- "$cur"))
            return
            ;;
        google)
            COMPREPLY=($(compgen -W 'login logout status inspect' -- "$cur"))
            return
            ;;
        profile)
            COMPREPLY=($(compgen -W 'list show new set delete export import' -- "$cur"))
            return
            ;;
        schedule)
            COMPREPLY=($(compgen -W 'set list remove run' -- "$cur"))
            return
            ;;
        import)
            _filedir json
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--help --version --home --profile --all --type --site --dry-run --quiet
            --changed-pages --no-check --change-signal --include --exclude --baseline --sitemap --cool-down
            --check-time --replace --last --csv
            --client --service-account --port --timeout --limit --profile-slot --at --schedule-log --json
            --jsonl' -- "$cur"))
        return
    fi
    local word
    for word in "${words[@]:1:cword-1}"; do
        [[ $word == @(submit|status|key|history|coverage|google|profile|profiles|schedule) ]] && return
    done
    COMPREPLY=($(compgen -W 'submit status key history coverage google profile profiles schedule' -- "$cur"))
} &&
    complete -F _orvanta orvanta

_orvanta_catalogue_tool()
{
    local cur prev words cword
    _init_completion || return

    case $cword in
        1)
            COMPREPLY=($(compgen -W 'build check list export --help --version' -- "$cur"))
            ;;
        2)
            if [[ ${words[1]} == build ]]; then
                _filedir csv
            else
                _filedir
            fi
            ;;
        3)
            [[ ${words[1]} == build ]] && _filedir
            ;;
    esac
} &&
    complete -F _orvanta_catalogue_tool orvanta-catalogue

# ex: filetype=sh
