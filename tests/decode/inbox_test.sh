#!/usr/bin/env bash
# The desk's inbox (make_inbox.py) through --summary, compared with inbox.expected: the same
# table for the Linux decoder and for the Windows one under Wine. Arguments: the decoder's
# command (for Windows: tests/windows/wine-run.sh and the .exe).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qrx-inbox.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_inbox.py" "$work"
cd "$work"
status=0
"$@" --summary --password-file pw1.txt --password-file pw2.txt 受付 受付/空.dat 受付/main.c \
  >out.txt 2>err.txt || status=$?
{ cat out.txt; echo "--- standard error"; cat err.txt; echo "--- exit $status"; } >got.txt
diff -u "$here/inbox.expected" got.txt
