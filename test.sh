#!/usr/bin/env bash
# Sets up, checks the format, builds the linux, linux-asan and windows presets and runs every
# test of the three (the Windows ones under Wine), the Linux archive, the Windows zips and a short
# fuzzing run. Exits non-zero on any failure, and ends with a table of where the time went.
set -uo pipefail
cd "$(dirname "$0")"

status=0
summary=()
timings=()
# Runs one phase of the script (a name, then a command) and notes how long it took.
phase() {
  local name=$1
  shift
  local start=$EPOCHREALTIME
  "$@"
  local result=$?
  local took
  took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  timings+=("$(printf '%-22s %8s s  %s' "$name" "$took" "$([ $result -eq 0 ] && echo ok || echo FAILED)")")
  return $result
}
time_table() {
  echo
  echo "=== Time"
  printf '%s\n' "${timings[@]}"
  awk -v a="$SCRIPT_START" -v b="$EPOCHREALTIME" 'BEGIN { printf "%-22s %8.1f s\n", "total", b - a }'
}
SCRIPT_START=$EPOCHREALTIME

phase install scripts/setup.sh test || { time_table; exit 1; }

# The layout of .clang-format, checked before anything is built.
check_format() {
  echo "=== format"
  if ! git ls-files -z '*.cpp' '*.h' '*.inc' | xargs -0 -r clang-format-14 --dry-run -Werror; then
    echo "Not formatted (see above): run clang-format-14 -i on those files." >&2
    return 1
  fi
}
phase format check_format || { time_table; exit 1; }

# Windows tests run under Wine in a throw-away prefix (the tests start and end its one Wine
# session themselves); windows need a display, which a private Xvfb gives when none is there.
export WINEPREFIX
WINEPREFIX="$(mktemp -d /tmp/qrx-wine.XXXXXX)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_PID=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  # The prefix of the tests against the WMI stand-in (tests/windows/Tests.cmake).
  WINEPREFIX="$WINEPREFIX-fake-wmi" wineserver -k >/dev/null 2>&1 || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$WINEPREFIX" "$WINEPREFIX-fake-wmi"
}
trap cleanup EXIT
# Xvfb picks a free display itself and writes its number once it accepts clients.
start_xvfb() {
  local fifo
  fifo=$(mktemp -u /tmp/qrx-xvfb.XXXXXX) && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local n=
  read -r -t 30 n <"$fifo"
  rm -f "$fifo"
  [ -n "$n" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
}
if [ -z "${DISPLAY:-}" ]; then
  phase xvfb start_xvfb || { time_table; exit 1; }
fi

build() {
  echo "=== $1: build"
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
# Runs a preset's tests (more CTest arguments after the preset) into build/<preset>-<log>.log.
run_tests() {
  local preset=$1 log=$2
  shift 2
  echo "=== $preset: $log"
  ctest --preset "$preset" --timeout 600 "$@" 2>&1 | tee "build/$preset-$log.log"
  summary+=("$preset $log: $(grep -E 'tests passed|tests failed' "build/$preset-$log.log" | tail -1)")
  grep -q '100% tests passed' "build/$preset-$log.log"
}
for preset in linux linux-asan windows; do
  if ! phase "$preset build" build "$preset"; then
    summary+=("$preset: BUILD FAILED")
    status=1
    continue
  fi
  case $preset in
    # Two cases at a time: many of them wait on a process or a time limit. The archive is timed
    # on its own: it packs and unpacks the whole program.
    linux) phase "linux tests" run_tests linux tests -j2 -E '^LinuxArchive\.' || status=1
           phase "linux archive" run_tests linux archive -R '^LinuxArchive\.' || status=1 ;;
    linux-asan) phase "linux-asan tests" run_tests linux-asan tests -j2 || status=1 ;;
    # The Windows cases wait on Wine more than they work: they run side by side, those that
    # open windows one at a time (their `desktop` lock).
    windows) phase "windows tests" run_tests windows tests -j4 || status=1 ;;
  esac
done

# The zip for Windows users.
zip_windows() {
  cmake --build --preset windows-zip >/dev/null &&
    summary+=("windows zips: $(cd build/windows && ls QRX_PC_INFO*-win64.zip | tr "\n" " ")")
}
if [ -f build/windows/build.ninja ]; then
  if ! phase "windows zip" zip_windows; then
    summary+=("windows zip: FAILED")
    status=1
  fi
fi

# Short fuzzing runs (clang's libFuzzer) of the line decoder and the codecs, and of the whole
# decoder from its command line to its output. Each runs a fixed number of inputs from a fixed
# seed, so that every run tries the same; the time given is only a ceiling for a slow machine.
fuzz_one() {
  local target=$1 runs=$2 corpus=$3
  if build/fuzz/"$target" -runs="$runs" -max_total_time=120 -seed=1 "$corpus" \
      >build/fuzz-"$target".log 2>&1; then
    summary+=("fuzz $target: $(grep -o 'Done [0-9]* runs' build/fuzz-"$target".log), no findings")
  else
    tail -30 build/fuzz-"$target".log 2>/dev/null
    summary+=("fuzz $target: FAILED (see build/fuzz-$target.log)")
    return 1
  fi
}
fuzz() {
  echo "=== fuzz"
  local corpus result=0
  corpus="$(mktemp -d /tmp/qrx-corpus.XXXXXX)"
  mkdir "$corpus/lines" "$corpus/pipeline"
  find tests/fuzz-seeds -maxdepth 1 -type f -exec cp {} "$corpus/lines/" \;
  # The pipeline's seeds are made (whole data files with the program's key, archives), its
  # regressions kept.
  cp tests/fuzz-seeds/pipeline/regression-* "$corpus/pipeline/" 2>/dev/null
  if ! python3 tests/fuzz-seeds/pipeline/make_seeds.py "$corpus/pipeline" ||
     ! cmake --preset fuzz >/dev/null || ! cmake --build --preset fuzz >/dev/null; then
    summary+=("fuzz: BUILD FAILED")
    result=1
  else
    fuzz_one fuzz_decoder 3000 "$corpus/lines" || result=1
    fuzz_one fuzz_pipeline 1500 "$corpus/pipeline" || result=1
  fi
  rm -rf "$corpus"
  return $result
}
phase fuzz fuzz || status=1

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
time_table
exit $status
