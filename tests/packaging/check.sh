#!/bin/sh
# Checks of the install files with Debian's own tools; exit 77 (skipped) when
# the tool is not installed.
#   check.sh metainfo FILE | desktop FILE | bash-completion FILE | zsh-completion FILE
#   check.sh package BUILD_DIR [sanitized]
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
    # check.sh package BUILD_DIR [sanitized]: the three packages made with
    # cpack, checked by lintian, then (as root, on a machine where none of
    # them is installed) installed one at a time: what each pulls in, what
    # its programs link, and that a purge leaves nothing behind.
    need lintian lintian
    need cpack cmake
    build=$1
    mode=${2:-release}
    dir=$(mktemp -d) || exit 1
    trap 'rm -rf "$dir"' EXIT
    cpack --config "$build/CPackConfig.cmake" -B "$dir" >"$dir/cpack.log" 2>&1 ||
        { cat "$dir/cpack.log"; exit 1; }
    # The packages of what was built (the window and the module may be left
    # out of a build), in the order they are installed.
    packages=
    for package in tabrivo-cli python3-tabrivo tabrivo; do
        [ -f "$dir/${package}_"*.deb ] && packages="$packages $package"
    done
    echo "cpack made:$packages"
    [ -f "$dir/tabrivo-cli_"*.deb ] || { cat "$dir/cpack.log"; exit 1; }
    if [ "$mode" = sanitized ]; then
        # Sanitizer builds are not for shipping: only errors and warnings,
        # leaving out the overrides that fit the optimised release build only.
        out=$(lintian "$dir"/*.deb 2>&1)
        echo "$out"
        ! printf '%s\n' "$out" | grep -E '^[EW]: ' | grep -qv ' mismatched-override '
        exit
    fi
    # Clean means no tag at all, not even an informational or a pedantic one,
    # beyond the overrides each package ships with their reasons.
    out=$(lintian -I --pedantic --fail-on error,warning,info,pedantic "$dir"/*.deb 2>&1)
    status=$?
    out=$(printf '%s\n' "$out" | grep -v '^running with root privileges')
    echo "lintian -I --pedantic: ${out:-no tags}"
    [ $status -eq 0 ] && [ -z "$out" ] || exit 1

    if [ "$(id -u)" != 0 ]; then
        echo "not root: the packages were not installed"
        exit 77
    fi
    for package in $packages; do
        if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed"; then
            echo "$package is installed on this machine already: it is left alone"
            exit 77
        fi
    done
    apt_get() {
        DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=300 "$@" \
            >"$dir/apt.log" 2>&1 || { cat "$dir/apt.log"; return 1; }
    }
    purge_all() {
        for package in $packages; do
            dpkg-query -W "$package" >/dev/null 2>&1 && apt_get purge "$package"
        done
    }
    trap 'purge_all; rm -rf "$dir"' EXIT
    installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | sort; }
    # The packages a package needs, at any depth, as apt sees them.
    closure() {
        apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances "$1" | grep -v '^ ' | grep -v '^<' | sort -u
    }
    qt='^(libqt6|qt6-|libqt5|qt5-)'
    status=0
    fail() { echo "FAILED: $*"; status=1; }
    for package in $packages; do
        installed >"$dir/before"
        apt_get install --no-install-recommends "$dir/${package}_"*.deb || { fail "$package installs"; continue; }
        installed >"$dir/after"
        added=$(comm -13 "$dir/before" "$dir/after" | grep -vx "$package" | paste -sd ' ')
        needs=$(closure "$package" | grep -vx "$package")
        echo "$package: pulls in $(printf '%s\n' "$needs" | grep -c .) packages at any depth;" \
            "installed here now: ${added:-none besides itself}"
        case $package in
        tabrivo-cli)
            printf '%s\n' "$needs" | grep -E "$qt" && fail "tabrivo-cli needs Qt"
            ldd /usr/bin/tabrivo-convert | grep -i qt && fail "tabrivo-convert links Qt"
            /usr/bin/tabrivo-convert --version >/dev/null || fail "tabrivo-convert does not run"
            ;;
        python3-tabrivo)
            printf '%s\n' "$needs" | grep -E "$qt" && fail "python3-tabrivo needs Qt"
            module=/usr/lib/python3/dist-packages/tabrivo
            ls "$module/__pycache__/"*.pyc >/dev/null 2>&1 || fail "the module is not byte-compiled"
            (cd / && /usr/bin/python3 -c 'import tabrivo; print(tabrivo.read_tables(b"<table><tr><td>x</table>")[0].rows)') |
                grep -qx "\[\['x'\]\]" || fail "the module does not read a table"
            ;;
        tabrivo)
            printf '%s\n' "$needs" | grep -qx libqt6widgets6 || fail "tabrivo does not need Qt Widgets"
            /usr/bin/tabrivo --version >/dev/null || fail "tabrivo does not run"
            [ -f /usr/share/applications/tabrivo.desktop ] || fail "no menu entry"
            ;;
        esac
        apt_get purge "$package" || fail "$package purges"
        case $package in
        python3-tabrivo) left=/usr/lib/python3/dist-packages/tabrivo ;;
        tabrivo-cli) left=/usr/bin/tabrivo-convert ;;
        tabrivo) left=/usr/lib/tabrivo ;;
        esac
        [ -e "$left" ] && fail "$left is left after the purge: $(find "$left" | head -5)"
    done
    exit $status
    ;;
*)
    echo "unknown check: $what"
    exit 2
    ;;
esac
