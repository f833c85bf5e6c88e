#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build for a time each, from the seed
# corpora in the tree; fails when any target finds something.
#
#   bash tests/fuzz/run.sh [-b BUILD] [-j PARALLEL] SECONDS [TARGET...]
#
# BUILD defaults to build-fuzz (configured with -DRX460K_FUZZ=ON and clang).
# Inputs that add coverage collect in BUILD/fuzz-corpus/<target>/ and are
# kept from run to run; findings land in BUILD/fuzz-findings/ and their
# bytes are printed. Extra libFuzzer flags come from FUZZ_FLAGS
# (for example FUZZ_FLAGS="-fork=2" for a long run).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

build="$root/build-fuzz"
parallel=1
while getopts "b:j:" opt; do
    case "$opt" in
    b) build=$(cd "$OPTARG" && pwd) ;;
    j) parallel=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
seconds=${1:?usage: run.sh [-b BUILD] [-j PARALLEL] SECONDS [TARGET...]}
shift
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(fuzz_reply_checks fuzz_window_readers fuzz_text_numbers fuzz_typed_frame
             fuzz_frame_parser fuzz_sim_frames)
fi

seeds_of() {
    case "$1" in
    fuzz_sim_frames) echo "$root/tests/sim/fuzz/corpus" ;;
    *) echo "$here/corpus/$1" ;;
    esac
}

binary_of() {
    case "$1" in
    fuzz_sim_frames) echo "$build/tests/$1" ;;
    *) echo "$build/tests/fuzz/$1" ;;
    esac
}

findings="$build/fuzz-findings"
logs="$build/fuzz-logs"
mkdir -p "$findings" "$logs"

# One target; its log goes to a file so that parallel runs stay readable.
run_one() {
    local target=$1 bin work
    bin=$(binary_of "$target")
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
    local env=()
    if [ "$target" = fuzz_window_readers ]; then
        # One window lives as long as the process; Qt's caches are not leaks.
        env=(QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0)
    fi
    # shellcheck disable=SC2086
    env "${env[@]}" "$bin" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" ${FUZZ_FLAGS:-} \
        "$work" "$(seeds_of "$target")" >"$logs/$target.log" 2>&1
}

report() {
    local target=$1 status=$2
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$target.log" | tail -1)
    if [ "$status" -eq 0 ]; then
        echo "$target: ${runs:-?} inputs in ${seconds}s, nothing found"
        return 0
    fi
    echo "$target: FAILED (exit $status)"
    grep -E "oracle violated|ERROR|runtime error|reply code|^  " "$logs/$target.log" | head -40 || true
    for f in "$findings/$target-"*; do
        [ -e "$f" ] || continue
        echo "finding $f:"
        od -An -tx1 -v "$f" | head -20
    done
    return 1
}

for t in "${targets[@]}"; do
    bin=$(binary_of "$t")
    [ -x "$bin" ] || { echo "no $bin: build it first (cmake --build $build --target $t)" >&2; exit 2; }
    rm -f "$findings/$t-"*
done

passed=0
failed=0
pending=("${targets[@]}")
declare -A pids=()
while ((${#pending[@]} > 0 || ${#pids[@]} > 0)); do
    while ((${#pending[@]} > 0 && ${#pids[@]} < parallel)); do
        t=${pending[0]}
        pending=("${pending[@]:1}")
        rm -f "$logs/$t.status"
        (
            status=0
            run_one "$t" || status=$?
            echo "$status" >"$logs/$t.status"
        ) &
        pids[$t]=$!
    done
    # Wait for any one of the running targets.
    wait -n || true
    for t in "${!pids[@]}"; do
        [ -e "$logs/$t.status" ] || continue
        unset "pids[$t]"
        if report "$t" "$(cat "$logs/$t.status")"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
    done
done

echo "fuzz: $passed passed, $failed failed"
((failed == 0))
