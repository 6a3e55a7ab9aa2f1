#!/usr/bin/env bash
# decoders_agree.sh LINUX_DECODER FOLDER NAME...
# The Linux decoder's JSON of each FOLDER/fake-wmi-NAME.dat, which the Windows tests wrote
# under Wine together with the Windows decoder's JSON of it (FOLDER/fake-wmi-NAME.json), must
# equal that JSON byte for byte.
set -euo pipefail
decoder=$1 folder=$2
shift 2
if [ ! -x "$decoder" ]; then
  echo "no Linux decoder at $decoder (build the linux preset first)" >&2
  exit 1
fi
for name in "$@"; do
  if ! "$decoder" --json - <"$folder/fake-wmi-$name.dat" | cmp - "$folder/fake-wmi-$name.json"; then
    echo "$name: the decoders disagree" >&2
    exit 1
  fi
  echo "$name: the same JSON"
done
