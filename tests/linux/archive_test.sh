#!/usr/bin/env bash
# The customer's Linux archive, unpacked into a folder of its own: it holds the program and what
# the program needs, nothing else; without a display it runs a collection there and the decoder of
# the desk's archive reads the data file back; with one, it opens the window from the module
# beside it. Arguments: the cpack command and the build folder.
set -euo pipefail
cpack=$1
build=$2
work=$(mktemp -d /tmp/qrx-archive.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
tar -xzf "$work"/out/QRX_PC_INFO-*-linux-*.tar.gz -C "$work"
tar -xzf "$work"/out/QRX_PC_INFO_DESK-*-linux-*.tar.gz -C "$work"
desk=$(echo "$work"/QRX_PC_INFO_DESK-*-linux-*/)
[ "$(ls "$desk")" = "$(printf 'LICENSE_mbedTLS.txt\nQRX_PC_INFO_DECODE\nREADME_ja.txt')" ] ||
  { echo "the desk's archive holds: $(ls "$desk")"; exit 1; }
cd "$work"/QRX_PC_INFO-*-linux-*/
[ "$(find . -type f | sort | tr '\n' ' ')" = \
  "./LICENSE_mbedTLS.txt ./QRX_PC_INFO ./QRX_PC_INFO_qt.so ./README_ja.txt ./font/IPA_Font_License.txt ./font/QRX_UI_Gothic.ttf " ] ||
  { echo "the customer's archive holds: $(find . -type f | sort | tr '\n' ' ')"; exit 1; }

printf '1\n\n\n' | env -u DISPLAY -u WAYLAND_DISPLAY ./QRX_PC_INFO >"$work/out.txt"
data=$(ls PC_INFO_*.dat)
grep -qF "[$PWD/$data]" "$work/out.txt" || { echo "completion does not name $PWD/$data"; exit 1; }
"$desk/QRX_PC_INFO_DECODE" "$data" >"$work/records.txt"
for class in NetworkAdapterConfiguration NetworkAdapter Processor OperatingSystem BaseBoard \
             ComputerSystemProduct; do
  grep -qx -- "----------Win32_$class----------" "$work/records.txt" ||
    { echo "no Win32_$class in the decoded file"; exit 1; }
done

if [ -n "${DISPLAY:-}" ]; then
  # The window is still open when the time is up (124); the terminal would have ended at once.
  status=0
  timeout -s TERM 3 ./QRX_PC_INFO </dev/null >/dev/null 2>"$work/err.txt" || status=$?
  if grep -q "QRX_PC_INFO:" "$work/err.txt" || [ "$status" -ne 124 ]; then
    echo "the window did not open from the archive's module (status $status):"
    cat "$work/err.txt"
    exit 1
  fi
fi
echo "archive: ran headless, decoded $(wc -l <"$work/records.txt") records; window: ${DISPLAY:+opened}"
