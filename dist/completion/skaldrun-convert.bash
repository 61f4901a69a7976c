# bash completion for skaldrun-convert and skaldrun: the options as their --help lists them,
# the code pages, and playlists.

_skaldrun_playlists() {
    local name
    while IFS= read -r name; do
        if [[ -d $name ]]; then
            COMPREPLY+=("$name")
            continue
        fi
        case ${name,,} in
        *.m3u | *.m3u8 | *.pls | *.xspf) COMPREPLY+=("$name") ;;
        esac
    done < <(compgen -f -- "$1")
}

_skaldrun_convert() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} option=
    COMPREPLY=()
    # "--name=value" comes as "--name" "=" "value" where = breaks words.
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        cur=${cur#*=}
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == = ]]; then
        option=$prev
        cur=
    elif [[ $prev == -o || $prev == -f ]]; then
        option=$prev
    fi
    case $option in
    --encoding)
        COMPREPLY=($(compgen -W "utf-8 windows-1251 windows-1252 koi8-r cp866" -- "$cur"))
        return
        ;;
    -o | --output)
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    -f | --format | --columns)
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        local options
        options=$("${COMP_WORDS[0]}" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*=\?' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
            compopt -o nospace 2>/dev/null || true
        fi
        return
    fi
    _skaldrun_playlists "$cur"
}

_skaldrun() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        return
    fi
    _skaldrun_playlists "$cur"
}

complete -F _skaldrun_convert skaldrun-convert
complete -F _skaldrun skaldrun
