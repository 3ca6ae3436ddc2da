#!/bin/bash
# Two shards of an animation rendered side by side by GNU parallel write the
# same files, byte for byte, as one run of the whole sequence.
#
# Usage: parallel_test.sh SPIRELLE_CLI SOURCE_DIR
set -u
cli=$(realpath "$1")
source_dir=$(realpath "$2")
command -v parallel >/dev/null || { echo "SKIPPED: GNU parallel is not installed"; exit 77; }

work=$(mktemp -d /tmp/spirelle-parallel-XXXXXX)
trap 'rm -rf "$work"' EXIT
scene=$source_dir/examples/demo.upr
mkdir "$work/whole" "$work/shards"
"$cli" render "$scene" --set 1 --frames 1:5 --size 48x32 --sampling-level 1 -o "$work/whole/" \
    >/dev/null 2>&1 || { echo "FAILED: the whole run"; exit 1; }
parallel --will-cite "$cli" render "$scene" --set 1 --frames 1:5 --size 48x32 --sampling-level 1 \
    -o "$work/shards/" --shard {}/2 ::: 0 1 >/dev/null 2>&1 \
    || { echo "FAILED: a shard failed"; exit 1; }
count=0
for file in "$work"/whole/*.png; do
    cmp -s "$file" "$work/shards/$(basename "$file")" || { echo "FAILED: $(basename "$file") differs"; exit 1; }
    count=$((count + 1))
done
[ "$count" -eq 5 ] && [ "$(ls "$work/shards" | wc -l)" -eq 5 ] || { echo "FAILED: expected 5 frames"; exit 1; }
echo "PASSED: 5 frames from 2 shards equal the whole run"
