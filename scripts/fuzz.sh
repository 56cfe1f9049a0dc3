#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) and runs each one:
# first over its regression inputs (the reproducers of faults found before),
# then for a bounded time from its seed corpus. Fails on any finding; the
# input that found it is kept under build/fuzz/findings/.
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(registry sim_config format codepage exports driver_replies)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for t in "${targets[@]}"; do
  exe=build/fuzz/fuzz/fuzz_$t
  seeds=tests/fuzz/corpus/$t
  regressions=tests/fuzz/regressions/$t
  # New inputs go to a scratch folder: the seed corpus in the tree stays as it is.
  work=$(mktemp -d)
  mkdir "$work/corpus"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$exe" -runs=0 "$regressions"/* >"$work/regressions.log" 2>&1; then
      echo "FAIL fuzz_$t: a regression input fails again"
      tail -40 "$work/regressions.log"
      status=1
      rm -rf "$work"
      continue
    fi
  fi
  start=$(date +%s)
  if "$exe" -max_total_time="$seconds" -timeout=10 -max_len=1024 -rss_limit_mb=4096 -print_final_stats=0 \
      -artifact_prefix="$findings/${t}-" "$work/corpus" $( [ -d "$seeds" ] && echo "$seeds" ) >"$work/run.log" 2>&1; then
    echo "PASS fuzz_$t ($(( $(date +%s) - start )) s, $(grep -o 'DONE *cov: [0-9]*' "$work/run.log" | tail -1))"
  else
    echo "FAIL fuzz_$t: see below; the input is in $findings"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$work/run.log" | head -20
    tail -60 "$work/run.log"
    status=1
  fi
  rm -rf "$work"
done
exit $status
