#!/usr/bin/env bash
# The bash completion offers what skaldrun-convert --help lists, the code pages after
# --encoding=, and playlists; the zsh completion names every option too.
set -euo pipefail
command=$1
source_dir=$2
PATH="$(dirname "$command"):$PATH"
source "$source_dir/dist/completion/skaldrun-convert.bash"

complete_words() { # the words typed so far, the last being completed
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _skaldrun_convert
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
failed=0
expect() { # what, got, wanted
    if [ "$2" != "$3" ]; then
        printf 'FAIL: %s\n  got:    %s\n  wanted: %s\n' "$1" "$(echo $2)" "$(echo $3)"
        failed=1
    fi
}

help_options=$("$command" --help | grep -o -- '--[a-z][a-z-]*=\?' | sort -u)
expect "every option" "$(complete_words skaldrun-convert --)" "$help_options"
expect "--out" "$(complete_words skaldrun-convert --out)" "--output="
expect "--encoding=k" "$(complete_words skaldrun-convert --encoding = k)" "koi8-r"
expect "--encoding=" "$(complete_words skaldrun-convert --encoding=)" \
    "$(printf '%s\n' cp866 koi8-r utf-8 windows-1251 windows-1252)"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/a.m3u" "$folder/b.PLS" "$folder/notes.txt"
mkdir "$folder/more"
expect "playlists" "$(complete_words skaldrun-convert "$folder/")" \
    "$(printf '%s\n' "$folder/a.m3u" "$folder/b.PLS" "$folder/more")"

for option in $help_options; do
    grep -q -- "${option%=}[=['}]" "$source_dir/dist/completion/_skaldrun-convert" ||
        { echo "FAIL: zsh does not offer $option"; failed=1; }
done
exit $failed
