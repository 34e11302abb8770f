#!/bin/sh
# Builds the report-reader fuzz target with clang's libFuzzer and AddressSanitizer.
#   tests/download/fuzz/build.sh [OUTPUT]      (default: build-fuzz/LotwReportFuzz)
# Run:  build-fuzz/LotwReportFuzz -max_total_time=600 -rss_limit_mb=2048 CORPUS_COPY tests/download/fuzz/corpus
set -e
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=${1:-$root/build-fuzz/LotwReportFuzz}
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fPIC \
  -DQT_NO_CAST_FROM_ASCII -DQT_NO_CAST_TO_ASCII \
  -I"$root/src" -I"$root/tests" $(pkg-config --cflags Qt6Core) \
  "$root/tests/download/fuzz/LotwReportFuzz.cpp" \
  "$root/src/download/LotwReportReader.cpp" "$root/src/download/LotwRecordParser.cpp" \
  "$root/src/download/LotwFieldRules.cpp" "$root/src/download/CountyNormaliser.cpp" \
  "$root/src/download/LotwRecord.cpp" "$root/src/download/FieldRules.cpp" "$root/src/download/ImportDecision.cpp" "$root/src/download/LineFile.cpp" \
  "$root/src/platform/EventMonitor.cpp" \
  $(pkg-config --libs Qt6Core) -o "$out"
echo "$out"
