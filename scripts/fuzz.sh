#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each in turn
# for SECONDS seconds (default 60), at the lowest priority, one process at a
# time.  The corpora grow in build-fuzz/corpus/<target>/ from seeds taken out
# of the tests; a crash input is written to build-fuzz/artifacts/ and the
# script exits non-zero.  Keep a crash input under fuzz/regressions/<target>/
# once it is fixed: the unit tests run every kept input.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: parameters schema_model
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(parameters schema_model)

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; nothing was fuzzed" >&2
  exit 0
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVA_FUZZ=ON \
  -DKOVA_TESTS=OFF -DKOVA_BENCH=OFF -DKOVA_WERROR=OFF >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("${t}_fuzz"); done
cmake --build build-fuzz -j2 --target "${build_targets[@]}"

rm -rf build-fuzz/seeds
/usr/bin/python3 fuzz/seeds.py build-fuzz/seeds
mkdir -p build-fuzz/artifacts
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  echo "== fuzzing $t for $seconds s"
  # -close_fd_mask=1: the program's own output would drown the fuzzer's.
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 19 "build-fuzz/bin/${t}_fuzz" "build-fuzz/corpus/$t" "build-fuzz/seeds/$t" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$t-"; then
    echo "fuzz: $t found a failure; see build-fuzz/artifacts/" >&2
    status=1
  fi
done
exit "$status"
