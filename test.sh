#!/usr/bin/env bash
# Sets up, checks the format, builds the linux, linux-asan and windows presets and runs every
# test of the three (the Windows ones under Wine). Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
scripts/setup.sh test || exit 1

# The layout of .clang-format, checked before anything is built.
echo "=== format"
if ! git ls-files -z '*.cpp' '*.h' '*.inc' | xargs -0 -r clang-format-14 --dry-run -Werror; then
  echo "Not formatted (see above): run clang-format-14 -i on those files." >&2
  exit 1
fi

# Windows tests run under Wine in a throw-away prefix; windows need a display, which a
# private Xvfb gives when none is there.
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
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 99); do
    [ -e "/tmp/.X${n}-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    sleep 1
    break
  done
fi

status=0
summary=()
for preset in linux linux-asan windows; do
  echo "=== $preset: build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    summary+=("$preset: BUILD FAILED")
    status=1
    continue
  fi
  if [ "$preset" = windows ]; then
    # One persistent server for the whole run: every test case starts Wine anew, and Wine's
    # services start here, not inside a test that waits for its output to end.
    wineserver -p
    wineboot -i >/dev/null 2>&1 || true
  fi
  echo "=== $preset: test"
  if ctest --preset "$preset" --timeout 600 2>&1 | tee "build/$preset-ctest.log"; then
    :
  else
    status=1
  fi
  summary+=("$preset: $(grep -E 'tests passed|tests failed' "build/$preset-ctest.log" | tail -1)")
  grep -q '100% tests passed' "build/$preset-ctest.log" || status=1
done

# The zip for Windows users.
if [ -f build/windows/build.ninja ]; then
  if cmake --build --preset windows-zip >/dev/null; then
    summary+=("windows zips: $(cd build/windows && ls QRX_PC_INFO*-win64.zip | tr "\n" " ")")
  else
    summary+=("windows zip: FAILED")
    status=1
  fi
fi

# A short fuzzing run of the line decoder and the codecs (clang's libFuzzer).
echo "=== fuzz"
corpus="$(mktemp -d /tmp/qrx-corpus.XXXXXX)"
cp tests/fuzz-seeds/* "$corpus"/
if cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null &&
   build/fuzz/fuzz_decoder -max_total_time=20 -seed=1 "$corpus" >build/fuzz.log 2>&1; then
  summary+=("fuzz: $(grep -o 'Done [0-9]* runs' build/fuzz.log), no findings")
else
  tail -30 build/fuzz.log 2>/dev/null
  summary+=("fuzz: FAILED (see build/fuzz.log)")
  status=1
fi
rm -rf "$corpus"

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
exit $status
