#!/bin/sh
# The benchmark table: the import (a report in LoTW's order against a log of as many QSOs) and
# the upload (every QSO of the log due), at 10,000, 100,000 and 1,000,000, each with the floor
# of the SQLite C API measured in the same run and its peak memory.
#
#   bench/table.sh BIN_DIR WORK_DIR [SIZES...]
#
# BIN_DIR holds ImportBench and UploadBench (build/bin); WORK_DIR keeps the prepared logs and
# reports between runs (a million takes some 700 MB and half a minute to prepare).
set -eu
bin=$1
work=$2
shift 2
sizes=${*:-10000 100000 1000000}
mkdir -p "$work"
printf '%-10s %-7s %9s %9s %6s %9s\n' size run ours floor ratio 'peak MiB'
for n in $sizes; do
    [ -f "$work/import-$n/pristine.sqlite" ] || "$bin/ImportBench" prepare "$n" "$work" >/dev/null
    out=$( /usr/bin/time -v "$bin/ImportBench" run "$n" "$work" 2>&1 )
    ours=$(printf '%s\n' "$out" | sed -n 's/^import of .*: \([0-9.]*\) s .*/\1/p')
    floor=$(printf '%s\n' "$out" | sed -n 's/^floor: \([0-9.]*\) s before, \([0-9.]*\) s after.*/\1 \2/p' |
        awk '{ printf "%.2f", ($1 + $2) / 2 }')
    ratio=$(printf '%s\n' "$out" | sed -n 's/^ratio to the floor: //p')
    peak=$(printf '%s\n' "$out" | sed -n 's/.*Maximum resident set size (kbytes): //p' | awk '{ printf "%.0f", $1 / 1024 }')
    printf '%-10s %-7s %9s %9s %6s %9s\n' "$n" import "$ours" "$floor" "$ratio" "$peak"

    mkdir -p "$work/upload-$n"
    out=$( /usr/bin/time -v "$bin/UploadBench" --qsos "$n" --dir "$work/upload-$n" --keep 2>&1 )
    ours=$(printf '%s\n' "$out" | sed -n 's/^upload completed: \([0-9.]*\) s .*/\1/p')
    floor=$(printf '%s\n' "$out" | sed -n 's/^floor: \([0-9.]*\) s before, \([0-9.]*\) s after.*/\1 \2/p' |
        awk '{ printf "%.2f", ($1 + $2) / 2 }')
    ratio=$(printf '%s\n' "$out" | sed -n 's/^ratio to the floor: //p')
    peak=$(printf '%s\n' "$out" | sed -n 's/.*Maximum resident set size (kbytes): //p' | awk '{ printf "%.0f", $1 / 1024 }')
    printf '%-10s %-7s %9s %9s %6s %9s\n' "$n" upload "$ours" "$floor" "$ratio" "$peak"
done
