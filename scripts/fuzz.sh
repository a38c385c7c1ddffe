#!/usr/bin/env bash
# Builds the SMF reader's fuzzer (clang, libFuzzer, ASan+UBSan) in build-fuzz, replays the seed
# corpus, then fuzzes for TONVERA_FUZZ_SECONDS (default 60). Exits non-zero on a crash.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${TONVERA_FUZZ_SECONDS:-60}
seeds="$root/fuzz/corpus/smf"
log="$build/fuzz.log"
mkdir -p "$build"

fail() {
    echo "fuzz: $1" >&2
    [ -f "$log" ] && tail -n 40 "$log" >&2
    exit 1
}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTONVERA_FUZZ=ON -DTONVERA_TESTS=OFF \
    >"$log" 2>&1 || fail "configure failed"
cmake --build "$build" -j2 --target smf_reader_fuzz >>"$log" 2>&1 || fail "build failed"
fuzzer="$build/fuzz/smf_reader_fuzz"

# New inputs go to a scratch corpus, never into the repository's seeds.
work="$build/corpus-smf"
artifacts="$build/artifacts/"
mkdir -p "$work" "$artifacts"

"$fuzzer" -runs=0 "$seeds" >"$log" 2>&1 || fail "a seed input crashes the reader"
echo "fuzz: replayed $(ls "$seeds" | wc -l) seeds"

"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
    -dict="$root/fuzz/smf.dict" -artifact_prefix="$artifacts" -print_final_stats=1 \
    "$work" "$seeds" >"$log" 2>&1
status=$?
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
corpus=$(ls "$work" | wc -l)
if [ $status -ne 0 ]; then
    fail "crash after ${execs:-?} runs; inputs kept in $artifacts"
fi
echo "fuzz: ${seconds}s, ${execs:-?} runs, scratch corpus ${corpus} inputs, no crash"
