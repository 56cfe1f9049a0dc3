#!/bin/sh
# Runs the benchmarks behind the project's performance figures and prints one
# table: each hot path beside its floor, the scaling of 1, 2 and 4 threads on
# objects of their own, the contended cases beside the standard library, and
# the event throughput. Run it on a quiet machine: the load average is printed
# first, as a loaded machine lowers every threaded figure (compare a scaling
# ratio with the recursive mutex's on the same run).
#
#   bench/run_figures.sh [BUILD_DIR]     (default build/default; REPS=3 repetitions)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/default}
reps=${REPS:-3}
if [ "$build" = "$here/build/default" ]; then
    (cd "$here" && cmake --preset default >/dev/null &&
        cmake --build --preset default --target vksacc_driver_bench vksacc_core_bench vks_platform_bench >/dev/null)
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {
    "$build/bin/$1" --benchmark_repetitions="$reps" --benchmark_format=json ${2:+--benchmark_filter="$2"} \
        >"$out/$1.json" 2>/dev/null
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; $reps repetitions, medians"
run vksacc_driver_bench
run vksacc_core_bench 'LockUnlock|RecursiveMutex'
run vks_platform_bench
python3 - "$out" <<'EOF'
import json, os, statistics, sys

rows = {}
for name in os.listdir(sys.argv[1]):
    with open(os.path.join(sys.argv[1], name)) as f:
        for b in json.load(f)["benchmarks"]:
            if b.get("run_type", "iteration") == "iteration":
                rows.setdefault(b["run_name"], []).append(b)

def med(name, key):
    return statistics.median(b[key] for b in rows[name])

def line(figure, value, reference, ratio, goal):
    print(f"| {figure:<50} | {value:>22} | {reference:>16} | {ratio:>6} | {goal:<14} |")

print(f"| {'figure':<50} | {'value':>22} | {'floor / other':>16} | {'ratio':>6} | {'goal':<14} |")
print(f"|{'-' * 52}|{'-' * 24}|{'-' * 18}|{'-' * 8}|{'-' * 16}|")
# One thread each: CPU time, which a loaded machine distorts least (equal to
# the real time on a quiet one).
get, floor = med("BM_SyncParameterGet", "cpu_time"), med("BM_SyncCommandFloor", "cpu_time")
line("sync parameter get / copy floor", f"{get:.0f} ns", f"{floor:.0f} ns", f"{get / floor:.2f}", "<= 3")
lock, rec = med("BM_LockUnlockHandle", "cpu_time"), med("BM_RecursiveMutexFloor", "cpu_time")
line("LockHandle+UnlockHandle / recursive mutex", f"{lock:.1f} ns", f"{rec:.1f} ns", f"{lock / rec:.2f}", "<= 3")
ev = "BM_EventThroughput/20000/real_time"
line("event throughput", f"{med(ev, 'events_per_second'):,.0f} /s", "", "", ">= 200,000 /s")
cpu = med(ev, "process_cpu_ns_per_event")
line("  process CPU per event (bound on a free core)", f"{cpu:.0f} ns", f"{1e9 / cpu:,.0f} /s", "", "")
for obj in ("Mutex", "Event", "Semaphore", "Port", "RecursiveMutexFloor"):
    rate = [med(f"BM_Own{obj}/real_time/threads:{n}", "items_per_second") for n in (1, 2, 4)]
    label = "std::recursive_mutex (the machine)" if obj.endswith("Floor") else f"own {obj.lower()} per thread"
    line(f"{label}: 1 / 2 / 4 threads", " / ".join(f"{r / 1e6:.1f}M" for r in rate), "items/s",
         f"{rate[1] / rate[0]:.2f}", "2 vs 1 >= 1.8")
for ours, std, label in (("BM_SharedMutex", "BM_SharedStdMutex", "2 threads, one mutex / std::mutex"),
                         ("BM_SharedPort", "BM_SharedStdQueue", "2 threads, one port / std mutex+condvar")):
    a = med(f"{ours}/real_time/threads:2", "items_per_second")
    b = med(f"{std}/real_time/threads:2", "items_per_second")
    line(label, f"{a / 1e6:.2f}M /s", f"{b / 1e6:.2f}M /s", f"{a / b:.2f}", "")
EOF
