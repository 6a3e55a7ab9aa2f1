#!/usr/bin/env bash
# Runs a Windows test program under Wine, as CTest's emulator, with the system code page 932
# (LANG=ja_JP.UTF-8). The program's output goes to files that are copied out once it ends: the
# Wine services and the desktop process a program starts on demand inherit its output, and a
# pipe they hold open would keep CTest waiting until they exit.
set -uo pipefail
export LANG=ja_JP.UTF-8 WINEDEBUG="${WINEDEBUG:--all}"
out=$(mktemp /tmp/qrx-wine-out.XXXXXX) || exit 1
err=$(mktemp /tmp/qrx-wine-err.XXXXXX) || exit 1
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit $status
