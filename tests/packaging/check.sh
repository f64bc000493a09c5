#!/bin/sh
# Checks of the install files with Debian's own tools; exit 77 (skipped) when
# the tool is not installed.
#   check.sh metainfo FILE | desktop FILE | bash-completion FILE | zsh-completion FILE
#   check.sh package BUILD_DIR
set -u
what=$1
shift

need() {
    command -v "$1" >/dev/null 2>&1 || { echo "$1 is not installed (Debian package $2)"; exit 77; }
}

case $what in
metainfo)
    need appstreamcli appstream
    out=$(appstreamcli validate --no-net --pedantic "$1" 2>&1)
    status=$?
    echo "$out"
    # Clean means no issue at all, not even a pedantic one.
    [ $status -eq 0 ] && [ "$out" = "✔ Validation was successful." ] || exit 1
    for type in text/html application/xhtml+xml; do
        grep -q "<mediatype>$type</mediatype>" "$1" || { echo "no mediatype $type"; exit 1; }
    done
    ;;
desktop)
    need desktop-file-validate desktop-file-utils
    out=$(desktop-file-validate "$1" 2>&1)
    status=$?
    echo "$out"
    [ $status -eq 0 ] && [ -z "$out" ] || exit 1
    # "Open With" offers the window for HTML pages and hands it the files.
    grep -qx 'Exec=tabrivo %F' "$1" || { echo "Exec does not take files (%F)"; exit 1; }
    grep -qx 'MimeType=text/html;application/xhtml+xml;' "$1" ||
        { echo "MimeType does not name the HTML types"; exit 1; }
    ;;
bash-completion)
    [ -r /usr/share/bash-completion/bash_completion ] ||
        { echo "bash-completion is not installed (Debian package bash-completion)"; exit 77; }
    dir=$(mktemp -d) || exit 1
    trap 'rm -rf "$dir"' EXIT
    mkdir "$dir/folder" && touch "$dir/page.html" "$dir/notes.txt"
    # Completes one command line (its last word) and prints the candidates, sorted.
    bash --norc --noprofile -c '
        . /usr/share/bash-completion/bash_completion
        . "$1"
        cd "$2" || exit 1
        complete_line() {
            COMP_LINE=$1
            COMP_POINT=${#COMP_LINE}
            read -r -a COMP_WORDS <<<"$COMP_LINE"
            [ "${COMP_LINE% }" != "$COMP_LINE" ] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            COMPREPLY=()
            _tabrivo_convert tabrivo-convert "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            [ ${#COMPREPLY[@]} -gt 0 ] && printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " "
        }
        [ "$(complete_line "tabrivo-convert --out")" = "--output-dir" ] || { echo "--out"; exit 1; }
        [ "$(complete_line "tabrivo-convert -o ")" = "folder" ] || { echo "-o"; exit 1; }
        [ "$(complete_line "tabrivo-convert ")" = "folder page.html" ] || { echo "files"; exit 1; }
        [ "$(complete_line "tabrivo-convert --null")" = "--null" ] || { echo "--null"; exit 1; }
    ' check "$1" "$dir"
    ;;
zsh-completion)
    need zsh zsh
    zsh -n "$1"
    ;;
package)
    need lintian lintian
    need cpack cmake
    dir=$(mktemp -d) || exit 1
    trap 'rm -rf "$dir"' EXIT
    cpack --config "$1/CPackConfig.cmake" -B "$dir" >"$dir/cpack.log" 2>&1 ||
        { cat "$dir/cpack.log"; exit 1; }
    lintian --fail-on error,warning \
        "$dir"/tabrivo_*.deb
    ;;
*)
    echo "unknown check: $what"
    exit 2
    ;;
esac
