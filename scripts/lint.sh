#!/usr/bin/env bash
# Checks CI makes before it builds: the code is as clang-format writes it, and
# the Qt-free libraries include no Qt header.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "lint: the files above are not as clang-format writes them (run clang-format -i)" >&2
    status=1
fi
if git grep -nE '^\s*#\s*include\s*[<"]Q' -- engine files warc cli; then
    echo "lint: engine/, files/ and cli/ must not include Qt headers" >&2
    status=1
fi
if git grep -nE '^\s*#\s*include\s*<engine/[a-z_]+_p\.h>' -- ':!engine' ':!tests/engine' ':!fuzz' ':!bench'; then
    echo "lint: headers ending in _p.h are private to the engine" >&2
    status=1
fi
exit "$status"
