#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in BUILD_DIR and runs each one for
# SECONDS (default 30) on its corpus. Fails on the first finding, printing
# the input that caused it (kept under BUILD_DIR/fuzz-artifacts/).
#   fuzz/run_smoke.sh BUILD_DIR [SECONDS] [TARGET...]
# The corpus folders in the source tree are read, never written.
set -euo pipefail

usage() { sed -n '2,6p' "$0"; exit 2; }
[ $# -ge 1 ] || usage
here=$(cd "$(dirname "$0")" && pwd)
src=$(dirname "$here")
build=$1
seconds=${2:-30}
shift $(( $# >= 2 ? 2 : 1 ))

command -v clang++ >/dev/null || { echo "run_smoke.sh: clang++ is missing (Debian: clang, libclang-rt-14-dev)" >&2; exit 1; }

mkdir -p "$build"
if ! { cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
             -DPELVANO_FUZZ=ON -DPELVANO_GUI=OFF -DPELVANO_TESTS=OFF &&
       cmake --build "$build" --target pelvano_fuzzers -j"$(nproc)"; } >"$build/fuzz-build.log" 2>&1; then
    tail -40 "$build/fuzz-build.log"
    echo "run_smoke.sh: building the fuzz targets failed (log: $build/fuzz-build.log)" >&2
    exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for t in ifo profile format avi media disc mpls names; do
        [ -x "$build/fuzz/${t}_fuzzer" ] && targets+=("$t")
    done
fi

declare -A max_len=([ifo]=32768 [profile]=8192 [format]=4096 [avi]=65536 [media]=65536 [disc]=65536 [mpls]=16384 [names]=16384)
# A hostile image may keep the UDF reader busy up to its read budget, which
# is no hang.
declare -A timeout=([disc]=30)
artifacts=$(cd "$build" && pwd)/fuzz-artifacts
mkdir -p "$artifacts"
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)  # a memory-backed folder where there is one
trap 'rm -rf "$work"' EXIT

# libudfread asks malloc for what a directory on a hostile image claims (up to
# 4 GiB) and copes with a null answer, as glibc may give; the sanitizer's
# allocator must answer the same way instead of stopping.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=0
for t in "${targets[@]}"; do
    exe="$build/fuzz/${t}_fuzzer"
    [ -x "$exe" ] || { echo "run_smoke.sh: no fuzz target $t" >&2; exit 1; }
    mkdir -p "$work/$t/corpus" "$work/$t/tmp"
    dict=()
    [ -f "$here/dict/$t.dict" ] && dict=(-dict="$here/dict/$t.dict")
    echo "== $t: ${seconds}s"
    if TMPDIR="$work/$t/tmp" "$exe" "$work/$t/corpus" "$here/corpus/$t" "${dict[@]}" \
           -max_total_time="$seconds" -timeout="${timeout[$t]:-2}" -rss_limit_mb=2048 -max_len="${max_len[$t]:-4096}" \
           -error_exitcode=77 -timeout_exitcode=78 -print_final_stats=1 \
           -artifact_prefix="$artifacts/$t-" >"$work/$t.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done' "$work/$t.log" || true
    else
        failed=1
        echo "!! $t found a problem:"
        grep -v -E '^(INFO|#[0-9]+ )' "$work/$t.log" | tail -60
        ls -t "$artifacts/$t-"* 2>/dev/null | head -1 | sed 's/^/   input: /'
    fi
done
exit $failed
