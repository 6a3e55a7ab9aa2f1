#!/usr/bin/env bash
# Speed of the support decoder, whole process, against a plain Python decoder
# (bench/reference_decoder.py, python3-cryptography) on the same data file, and the cost of one
# 200 MB line. Usage: bench/compare_decoders.sh [DECODER]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
decoder="$(realpath "${1:-$here/../build/linux/QRX_PC_INFO_DECODE}")"
work="$(mktemp -d /tmp/qrx-compare.XXXXXX)"
trap 'rm -rf "$work"' EXIT

python3 "$here/make_data_file.py" 200000 "$work/200k.dat"
python3 "$here/make_data_file.py" 1000000 "$work/1m.dat"

# The two decoders must agree before their times mean anything.
cmp <("$decoder" "$work/200k.dat") <(python3 "$here/reference_decoder.py" "$work/200k.dat")

hyperfine --style basic --warmup 1 --runs 3 --export-json "$work/times.json" \
  -n decoder "$decoder $work/200k.dat" \
  -n python "python3 $here/reference_decoder.py $work/200k.dat" \
  -n decoder-1m "$decoder $work/1m.dat" >/dev/null

# Peak memory and time of one line of 200 MB of Base64 characters without a line break.
python3 - "$work/long.dat" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    for _ in range(200):
        f.write(b"QUJD" * (1 << 18))
PY

/usr/bin/time -f "%e %M" -o "$work/long.txt" "$decoder" "$work/long.dat" >/dev/null 2>&1 || true

# CPU time (user + system) of the process counts, so that other load on the machine does not;
# wall-clock medians are shown beside it.
python3 - "$work/times.json" "$work/long.txt" <<'PY'
import json, sys
runs = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
cpu = {n: r["user"] + r["system"] for n, r in runs.items()}
wall = {n: r["median"] for n, r in runs.items()}
print(f"200 000 lines: decoder {cpu['decoder'] * 1000:.0f} ms, Python {cpu['python'] * 1000:.0f} ms"
      f" of CPU: ratio {cpu['python'] / cpu['decoder']:.1f}x"
      f" (wall clock {wall['python'] / wall['decoder']:.1f}x)")
print(f"1 000 000 lines to /dev/null: {cpu['decoder-1m'] * 1000:.0f} ms of CPU,"
      f" {1 / cpu['decoder-1m']:.2f} M lines/s (wall clock {1 / wall['decoder-1m']:.2f} M lines/s)")
took, peak = open(sys.argv[2]).read().split()[-2:]
print(f"one 200 MB line: {took} s, peak memory {int(peak) / 1024:.1f} MiB")
PY
