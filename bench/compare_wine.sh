#!/usr/bin/env bash
# The simulator path timed in one run on both builds: libvksacc.so on our
# platform layer (build/default) and vksacc.dll under Wine (build/mingw), as
# one table. Both builds must have vksacc_sim_path_bench.
#   bench/compare_wine.sh [gets] [events]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
gets=${1:-20000}
events=${2:-20000}
source "$root/scripts/wine-session.sh"

linux=$("$root/build/default/bin/vksacc_sim_path_bench" "$gets" "$events")
wine_session_begin
trap wine_session_end EXIT
windows=$(cd "$root/build/mingw/bin" && "$WINE" ./vksacc_sim_path_bench.exe "$gets" "$events" | tr -d '\r')

value() { echo "$1" | awk -v k="$2" '$1 == k { print $2 }'; }
printf '%-40s %18s %18s\n' "figure ($gets gets, $events events)" "libvksacc.so" "vksacc.dll (Wine)"
printf '%-40s %18s %18s\n' "synchronous parameter get (us)" "$(value "$linux" sync_get_us)" "$(value "$windows" sync_get_us)"
printf '%-40s %18s %18s\n' "event throughput (events/s)" "$(value "$linux" events_per_s)" "$(value "$windows" events_per_s)"
