#!/usr/bin/env bash
# Compares a headless run of QRX_PC_INFO with the two system tools that report the same kind of
# facts, side by side in one hyperfine run, and prints the ratios, the peak memory and the
# instructions of each: valgrind's count (children included), which unlike the times does not
# depend on the machine's load. INSTRUCTIONS=0 leaves the count out (inxi takes a minute there).
# With a display (DISPLAY) it also measures the window's start-up: from the launch until the
# window is mapped. Usage: bench/compare_peers.sh [build folder, default build/linux]
set -euo pipefail
build=$(realpath "${1:-build/linux}")
for tool in hyperfine lshw inxi /usr/bin/time valgrind; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/setup.sh test installs it" >&2; exit 2; }
done

work=$(mktemp -d /tmp/qrx-peers.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$build/QRX_PC_INFO" "$build/QRX_PC_INFO_qt.so" "$work"/
printf '1\n\n\n' >"$work/answers"  # start, confirm, acknowledge the completion

qrx="$work/QRX_PC_INFO <$work/answers >/dev/null"
lshw_cmd="lshw -quiet -class network -class processor -class system"
inxi_cmd="inxi -M -C -S -n -c0"

# Headless: without a display the program works in the terminal, as over SSH.
env -u DISPLAY -u WAYLAND_DISPLAY hyperfine --warmup 3 --runs "${RUNS:-20}" --prepare "rm -f $work/PC_INFO_*.dat" \
  --export-json "$work/times.json" -n QRX_PC_INFO "$qrx" -n lshw "$lshw_cmd" -n inxi "$inxi_cmd" \
  >"$work/hyperfine.txt"

# Peak resident memory, the median of five runs of each.
peak() {
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f %M sh -c "$1" 2>&1 >/dev/null | tail -1
  done | sort -n | sed -n 3p
}
declare -A kib
kib[QRX_PC_INFO]=$(DISPLAY= WAYLAND_DISPLAY= peak "$qrx")
kib[lshw]=$(peak "$lshw_cmd")
kib[inxi]=$(peak "$inxi_cmd")

# Instructions executed by a run and the processes it starts, from callgrind's summaries.
instructions() {
  [ "${INSTRUCTIONS:-1}" = 0 ] && { echo 0; return; }
  mkdir "$work/cg.$1"
  rm -f "$work"/PC_INFO_*.dat
  env -u DISPLAY -u WAYLAND_DISPLAY sh -c "valgrind --tool=callgrind --trace-children=yes \
    --callgrind-out-file=$work/cg.$1/%p $2" >/dev/null 2>&1 || true
  cat "$work/cg.$1"/* | awk '/^summary:/ { n += $2 } END { print n + 0 }'
}
declare -A ir
ir[QRX_PC_INFO]=$(instructions QRX_PC_INFO "$qrx")
ir[lshw]=$(instructions lshw "$lshw_cmd")
ir[inxi]=$(instructions inxi "$inxi_cmd")

echo "$(date -u +%F), $(nproc) cores, $(uname -r), load $(cut -d' ' -f1 /proc/loadavg)"
/usr/bin/python3 - "$work/times.json" "${kib[QRX_PC_INFO]}" "${kib[lshw]}" "${kib[inxi]}" \
  "${ir[QRX_PC_INFO]}" "${ir[lshw]}" "${ir[inxi]}" <<'PY'
import json, sys
names = ["QRX_PC_INFO", "lshw", "inxi"]
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
memory = dict(zip(names, map(int, sys.argv[2:5])))
count = dict(zip(names, map(int, sys.argv[5:8])))
ours = results["QRX_PC_INFO"]["median"]
print("%-12s %12s %10s %14s %16s %10s" % ("", "median", "ratio", "peak memory", "instructions",
                                          "ratio"))
for name in names:
    median = results[name]["median"]
    line = "%-12s %9.1f ms %9.1fx %10.1f MiB" % (name, median * 1000, median / ours,
                                                 memory[name] / 1024)
    if count["QRX_PC_INFO"]:
        line += " %14.2f M %9.1fx" % (count[name] / 1e6, count[name] / count["QRX_PC_INFO"])
    print(line)
PY

if [ -n "${DISPLAY:-}" ] && command -v xev >/dev/null; then
  # The window path: from the launch until the X server maps the window, median of ten.
  for _ in $(seq 10); do
    coproc XEV { exec stdbuf -oL xev -root -event substructure 2>/dev/null; }
    sleep 0.3
    kill -0 "$XEV_PID" 2>/dev/null || continue
    start=$EPOCHREALTIME
    "$work/QRX_PC_INFO" </dev/null >/dev/null 2>&1 &
    program=$!
    while read -r line <&"${XEV[0]}"; do
      [[ $line == MapNotify* ]] && break
    done
    end=$EPOCHREALTIME
    kill "$program" "$XEV_PID" 2>/dev/null || true
    wait "$program" "$XEV_PID" 2>/dev/null || true
    echo "$start $end"
  done | awk '{ print ($2 - $1) * 1000 }' | sort -n |
    awk '{ v[NR] = $1 } END { if (NR) printf "window mapped after %.1f ms (median of %d)\n", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2, NR }'
fi
