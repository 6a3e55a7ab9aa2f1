#!/usr/bin/env bash
# The one Wine session the Windows test cases share, in the prefix of WINEPREFIX (~/.wine when
# unset). `start`: a server that stays for the whole run (it would otherwise stop a few seconds
# after each case and the next case would boot the prefix again), the prefix booted with its
# services, and top-level windows left to Wine: Xvfb has no window manager, and Wine waits two
# seconds for one each time a window is shown. `stop`: the server and its processes end.
set -uo pipefail
export LANG=ja_JP.UTF-8 WINEDEBUG="${WINEDEBUG:--all}"
case "${1:-}" in
  start)
    mkdir -p "${WINEPREFIX:-$HOME/.wine}"
    # A server started without -p (by a test listing, say) would stop under the cases' feet.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    # Nothing of the session may keep CTest's output pipe open.
    wineserver -p </dev/null >/dev/null 2>&1 || exit 1
    wineboot -i </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 ||
      { echo "cannot write the prefix's registry" >&2; exit 1; }
    echo "Wine session in ${WINEPREFIX:-$HOME/.wine}"
    ;;
  stop)
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    exit 0
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
