#!/usr/bin/env bash
# Runs one fuzz target: fuzz/run.sh TARGET SECONDS [BUILD_DIR [LIBFUZZER_OPTIONS...]]
# Builds nothing: configure once with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTABRIVO_FUZZ=ON -DTABRIVO_GUI=OFF \
#       -DTABRIVO_BUILD_TESTS=OFF && cmake --build build-fuzz
# Seeds come from the shared corpus; findings land in build-fuzz/findings/TARGET/.
set -euo pipefail
target=${1:?usage: fuzz/run.sh convert|encoding|cell_text|paths|streamed_parse|parser_differential SECONDS [BUILD_DIR]}
seconds=${2:-1200}
build=${3:-build-fuzz}
here=$(cd "$(dirname "$0")/.." && pwd)
work="$here/$build/fuzz-work/$target"
findings="$here/$build/findings/$target"
mkdir -p "$work/corpus" "$findings"
seeds=()
corpus="$here/../shared/corpus/public"
case "$target" in
    paths) printf '%s\n' "$here"/tests/data/format/* > /dev/null
           [ -d "$work/seed" ] || { mkdir -p "$work/seed"
               i=0; for f in "$corpus"/* "$here"/tests/data/format/*; do
                   printf '%s' "$f" > "$work/seed/$i"; i=$((i+1)); done; }
           seeds=("$work/seed") ;;
    *) [ -d "$corpus" ] && seeds=("$corpus")
       seeds+=("$here/tests/data/format") ;;
esac
ls "$here"/tests/data/fuzz/"$target"/* >/dev/null 2>&1 && seeds+=("$here/tests/data/fuzz/$target")
html5lib="$here/../shared/html5lib-tests/tree-construction"
[ "$target" = parser_differential ] && [ -d "$html5lib" ] && seeds+=("$html5lib")
dict=()
[ "$target" = paths ] || dict=(-dict="$here/fuzz/html.dict")
exec "$here/$build/bin/fuzz_$target" "$work/corpus" "${seeds[@]}" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=2 -rss_limit_mb=2048 -max_len=262144 \
    -artifact_prefix="$findings/" -print_final_stats=1 "${@:4}"
