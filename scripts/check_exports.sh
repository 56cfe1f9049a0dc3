#!/usr/bin/env bash
# Checks that a built library exports exactly the functions the library
# declares (src/exports/export_list.txt): the Windows DLL's export table, or a
# Linux shared object's dynamic symbols.
set -euo pipefail
library=$1
expected=$(dirname "$0")/../src/exports/export_list.txt

case "$library" in
  *.dll) actual=$(x86_64-w64-mingw32-objdump -p "$library" |
                  awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF} t&&/^$/{t=0}') ;;
  *)     actual=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TW]$/ {print $3}') ;;
esac

missing=$(comm -23 <(sort -u "$expected") <(sort -u <<<"$actual"))
extra=$(comm -13 <(sort -u "$expected") <(sort -u <<<"$actual"))
status=0
if [ -n "$missing" ]; then echo "check_exports: $library lacks:"; echo "$missing"; status=1; fi
case "$library" in
  *.dll) if [ -n "$extra" ]; then echo "check_exports: $library exports more than declared:"; echo "$extra"; status=1; fi ;;
esac
[ $status -eq 0 ] && echo "check_exports: $library exports all $(sort -u "$expected" | wc -l) declared functions"
exit $status
