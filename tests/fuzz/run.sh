#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_SECONDS (default 60) on a working copy of
# its seed corpus.  An input that breaks a target is left in
# <build>/fuzz-artifacts/; put it into tests/fuzz/corpus/<target>/ so that
# the replay test keeps it as a regression test.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
here=$(cd "$(dirname "$0")" && pwd)

failed=0
for seeds in "$here"/corpus/*/; do
  name=$(basename "$seeds")
  work="$build/fuzz-corpus/$name"
  artifacts="$build/fuzz-artifacts"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$name for ${seconds}s"
  # Standard output and error of the target are closed: the programs'
  # reports are not what is checked, and libFuzzer keeps its own.
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -close_fd_mask=3 \
      -artifact_prefix="$artifacts/$name-" -print_final_stats=1 "$work" "$seeds"; then
    echo "fuzz_$name: an input broke it; see $artifacts" >&2
    failed=1
  fi
done
exit $failed
