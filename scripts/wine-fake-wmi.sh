#!/usr/bin/env bash
# scripts/wine-fake-wmi.sh PREFIX FIXTURE.json
#
# Prepares (or updates) the Wine prefix PREFIX so that in it the moniker "winmgmts:" binds to
# the test-only fake_wmi.dll, which serves the instances of FIXTURE.json (read at every bind).
# Run again with another fixture to switch. A prefix that does not exist yet is created.
# The DLL is taken from build/windows/tests/, or from $QRX_FAKE_WMI_DLL.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 PREFIX FIXTURE.json" >&2
  exit 2
fi
prefix=$(realpath -m "$1")
fixture=$(realpath -e "$2")
dll=$(realpath -e "${QRX_FAKE_WMI_DLL:-$(dirname "$0")/../build/windows/tests/fake_wmi.dll}")

export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$prefix/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi

# A Unix path as Wine's drive Z: shows it, with the backslashes a .reg file doubles.
regpath() { printf 'Z:%s' "$1" | sed 's|/|\\\\|g'; }

clsid='{6C1E3F0A-19AB-4E6B-9F12-0D5A7C3B2E19}'
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
# The ProgID "winmgmts" names the fake's class instead of Wine's own moniker class.
printf '%s\r\n' \
  'Windows Registry Editor Version 5.00' '' \
  '[HKEY_LOCAL_MACHINE\Software\Classes\winmgmts\CLSID]' \
  "@=\"$clsid\"" '' \
  "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$clsid]" \
  '@="QRX_PC_INFO test WMI"' \
  "\"Fixture\"=\"$(regpath "$fixture")\"" '' \
  "[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$clsid\\InprocServer32]" \
  "@=\"$(regpath "$dll")\"" \
  '"ThreadingModel"="Both"' '' |
  iconv -f UTF-8 -t UTF-16 >"$reg"
wine regedit /S "$(regpath "$reg" | sed 's|\\\\|\\|g')"
