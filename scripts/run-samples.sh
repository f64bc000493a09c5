#!/usr/bin/env bash
# The main job from the command line: converts the given HTML files (beside
# each source), or else the shipped samples into a folder of their own, and
# says where the results went.
set -euo pipefail
build_dir=${1:?usage: run-samples.sh BUILD_DIR [FILE...]}
shift
converter="$build_dir/bin/tabrivo-convert"

if [ "$#" -gt 0 ]; then
    status=0
    "$converter" -- "$@" || status=$?
    echo "Results were written beside each source file:"
    for source in "$@"; do
        name=$(basename -- "$source")
        stem=$name
        [[ "$name" == ?*.* ]] && stem=${name%.*}   # a leading dot is not an extension
        result="$(dirname -- "$source")/$stem.json"
        if [ -f "$result" ]; then echo "  $result"; fi
    done
    exit "$status"
fi

samples="$build_dir/bin/Samples"
output="$build_dir/samples-output"
mkdir -p "$output"
"$converter" -o "$output" "$samples"/*.html
echo "Converted the samples in $samples"
echo "Results are in $output:"
ls -1 "$output"/*.json | sed 's/^/  /'
