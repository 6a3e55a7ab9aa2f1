#!/usr/bin/env bash
# Sets up, builds the linux, linux-asan and windows presets and runs every test of the three
# (the Windows ones under Wine). Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
scripts/setup.sh || exit 1

# Windows tests run under Wine in a throw-away prefix; windows need a display, which a
# private Xvfb gives when none is there.
export WINEPREFIX
WINEPREFIX="$(mktemp -d /tmp/qrx-wine.XXXXXX)"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
XVFB_PID=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$WINEPREFIX"
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

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
exit $status
