#!/bin/sh
# The engines side by side: the import (a report in LoTW's order against a log of as many QSOs)
# and the upload (every QSO due), each taken back by undo, on the SQLite engine and through
# ODBC (the SQLite ODBC driver) with a keyed table, a keyless one, and a keyless one found
# through an index, and (ENGINES="... odbc-positioned") a keyless one on PostgreSQL written
# where its rows stand (BenchEngine.h), with the ratio of each time to the SQLite engine's in the
# same run and the peak memory of each process.
#
#   bench/engines.sh BIN_DIR WORK_DIR [SIZES...]
set -eu
bin=$1
work=$2
shift 2
sizes=${*:-10000 100000 1000000}
engines=${ENGINES:-sqlite odbc-keyed odbc-keyless odbc-index}
mkdir -p "$work"
field() { printf '%s\n' "$1" | sed -n "$2" | head -1; }
peak() { printf '%s\n' "$1" | sed -n 's/.*Maximum resident set size (kbytes): //p' | awk '{ printf "%.0f", $1 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
printf '%-8s %-13s %8s %6s %8s %6s %6s %8s %6s %8s %6s %6s\n' size engine import ratio undo ratio MiB upload ratio undo ratio MiB
for n in $sizes; do
    [ -f "$work/import-$n/pristine.sqlite" ] || "$bin/ImportBench" prepare "$n" "$work" >/dev/null
    for engine in $engines; do
        out=$( /usr/bin/time -v "$bin/ImportBench" run "$n" "$work" --no-floor --undo --engine "$engine" 2>&1 )
        imp=$(field "$out" 's/^import of .*: \([0-9.]*\) s .*/\1/p')
        impUndo=$(field "$out" 's/^undo of [0-9]* rows: \([0-9.]*\) s.*/\1/p')
        impPeak=$(peak "$out")
        mkdir -p "$work/upload-$n"
        out=$( /usr/bin/time -v "$bin/UploadBench" --qsos "$n" --dir "$work/upload-$n" --keep --no-floor --undo --engine "$engine" 2>&1 )
        up=$(field "$out" 's/^upload completed: \([0-9.]*\) s .*/\1/p')
        upUndo=$(field "$out" 's/^undo of [0-9]* rows: \([0-9.]*\) s.*/\1/p')
        upPeak=$(peak "$out")
        if [ "$engine" = sqlite ]; then
            baseImp=$imp baseImpUndo=$impUndo baseUp=$up baseUpUndo=$upUndo
        fi
        printf '%-8s %-13s %8s %6s %8s %6s %6s %8s %6s %8s %6s %6s\n' "$n" "$engine" \
            "$imp" "$(ratio "$imp" "${baseImp:-0}")" "$impUndo" "$(ratio "$impUndo" "${baseImpUndo:-0}")" "$impPeak" \
            "$up" "$(ratio "$up" "${baseUp:-0}")" "$upUndo" "$(ratio "$upUndo" "${baseUpUndo:-0}")" "$upPeak"
    done
done
