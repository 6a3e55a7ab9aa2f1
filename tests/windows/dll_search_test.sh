#!/usr/bin/env bash
# The real QRX_PC_INFO.exe under Wine takes its own folder out of the DLL search before anything
# else: Wine's trace of the calls into kernel32 and ole32 shows
# SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) first. (Wine itself loads its own
# builtin DLLs before a copy beside the program, so a planted DLL alone cannot show the call.)
set -uo pipefail
exe="$1"
dir="$(mktemp -d /tmp/qrx-dll-search.XXXXXX)"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
cp "$exe" "$dir/QRX_PC_INFO.exe"
wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /f \
  /d 'kernel32.SetDefaultDllDirectories;kernel32.SetDllDirectoryW;combase.CoInitializeEx' \
  >/dev/null 2>&1 || { echo "cannot set Wine's relay filter" >&2; exit 1; }
(cd "$dir" && WINEDEBUG=-all,+relay exec wine QRX_PC_INFO.exe >"$dir/trace" 2>&1) &
pid=$!
for _ in $(seq 300); do
  grep -q 'Ret  combase.CoInitializeEx' "$dir/trace" 2>/dev/null && break
  sleep 0.1
done
calls="$(grep -oE '^[0-9a-f]+:Call (KERNEL32|combase)\.[A-Za-z]+\([0-9a-f,]*\)' "$dir/trace" | cut -d: -f2)"
echo "$calls"
first="$(echo "$calls" | head -1)"
if [ "$first" != "Call KERNEL32.SetDefaultDllDirectories(00000800)" ]; then
  echo "FAILED: the first traced call is not SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)" >&2
  exit 1
fi
if ! echo "$calls" | grep -q 'combase.CoInitializeEx'; then
  echo "FAILED: the program did not get to COM (no CoInitializeEx in the trace)" >&2
  exit 1
fi
echo "passed"
