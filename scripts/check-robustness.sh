#!/usr/bin/env bash
# Checks what plain tests cannot see, installing what is missing on Debian 12 (apt needs root):
#   asan  the whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, which
#         halt on the first error; every bridge a process test starts is checked for leaks when
#         it ends (build-asan/)
#   tsan  the whole test suite built with ThreadSanitizer (build-tsan/)
#   fuzz  each libFuzzer target for OXL_FUZZ_SECONDS seconds (60 unless set) (build-fuzz/)
# Sanitizer reports go to files, so that those of the programs the tests start are seen too;
# any report, failed test or fuzzer finding fails the run.
#   scripts/check-robustness.sh [asan|tsan|fuzz]...    (all three when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(asan tsan fuzz)
fuzzSeconds=${OXL_FUZZ_SECONDS:-60}
# CI sets OXL_WARNINGS_AS_ERRORS=ON: any compiler warning then fails the build.
warningsAsErrors=${OXL_WARNINGS_AS_ERRORS:-OFF}
jobs=$(nproc)

# clang and its runtime, which holds libFuzzer, only for the fuzz targets; GCC's sanitizers
# come with g++.
scripts/install-missing.sh g++ cmake make qtbase5-dev python3 clang-14 libclang-rt-14-dev

summary=()
failed=0

# Builds the tree build-$1 with the compiler flags $2 and runs the whole suite in it with the
# environment assignments that follow; the sanitizers write their reports to build-$1/reports.
runSuite() {
    local name=$1 flags=$2
    shift 2
    local tree=build-$name
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS=$flags" \
        -DOXL_WARNINGS_AS_ERRORS="$warningsAsErrors" >/dev/null
    cmake --build "$tree" -j"$jobs"
    rm -rf "$tree/reports"
    mkdir -p "$tree/reports"
    local reports
    reports=$(realpath "$tree/reports")
    local status=0
    (cd "$tree" && env "${@//@REPORTS@/$reports}" ctest -j"$jobs" --output-on-failure --timeout 900) || status=$?
    local count
    count=$(find "$reports" -type f | wc -l)
    if [ "$count" -gt 0 ]; then
        cat "$reports"/* >&2
    fi
    summary+=("$name: $count sanitizer reports, test suite exit status $status")
    if [ "$count" -gt 0 ] || [ "$status" -ne 0 ]; then
        failed=1
    fi
}

runFuzzers() {
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
        -DOXL_BUILD_TESTS=OFF -DOXL_BUILD_FUZZERS=ON -DOXL_WARNINGS_AS_ERRORS="$warningsAsErrors" \
        "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" >/dev/null
    cmake --build build-fuzz -j"$jobs" --target fuzz_reader fuzz_link
    local target
    for target in reader link; do
        # New inputs go to a corpus of the tree's own; the committed seeds are only read.
        local corpus=build-fuzz/corpus-$target log=build-fuzz/fuzz_$target.log status=0
        mkdir -p "$corpus"
        build-fuzz/fuzz_$target -max_total_time="$fuzzSeconds" -timeout=10 -print_final_stats=1 \
            -artifact_prefix=build-fuzz/ "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
        local runs
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        if [ "$status" -ne 0 ]; then
            tail -n 60 "$log" >&2
            failed=1
        fi
        summary+=("fuzz_$target: ${runs:-0} executions in ${fuzzSeconds} s, exit status $status")
    done
}

for check in "${checks[@]}"; do
    case $check in
    asan)
        runSuite asan "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
            ASAN_OPTIONS=log_path=@REPORTS@/asan:halt_on_error=1:detect_leaks=1 \
            UBSAN_OPTIONS=log_path=@REPORTS@/ubsan:halt_on_error=1:print_stacktrace=1
        ;;
    tsan)
        # Debian's Qt is not instrumented: ThreadSanitizer cannot see the locks inside it and
        # takes what Qt does across threads for races. Only accesses made inside such
        # libraries are ignored; every access of the project's own code is still checked.
        runSuite tsan "-fsanitize=thread -fno-omit-frame-pointer" \
            TSAN_OPTIONS=log_path=@REPORTS@/tsan:ignore_noninstrumented_modules=1
        ;;
    fuzz)
        runFuzzers
        ;;
    *)
        echo "unknown check: $check (asan, tsan or fuzz)" >&2
        exit 2
        ;;
    esac
done

printf '%s\n' "${summary[@]}"
exit "$failed"
