#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The preloadable drive: a program that knows nothing of it finds /dev/sr0
# by libcdio's default search, an empty machine has no drive, and a
# second drive is found where SIMDRIVE2_PATH puts it.
# Usage: preload.sh LIBSIMDRIVE CDDRIVE MKDISC
set -euo pipefail
library=$1 cddrive=$2 mkdisc=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$mkdisc" "$work/disc.cue" 300

if "$cddrive" >/dev/null; then
  echo "a drive was found without the simulated one" >&2
  exit 1
fi
found=$(LD_PRELOAD=$library SIMDRIVE_IMAGE=$work/disc.cue SIMDRIVE_JOURNAL=$work/journal "$cddrive")
[ "$found" = /dev/sr0 ] || { echo "found '$found', not /dev/sr0" >&2; exit 1; }
grep -q 'ioctl CDROM_GET_CAPABILITY' "$work/journal" || { echo "no capability probe recorded" >&2; exit 1; }

found=$(LD_PRELOAD=$library SIMDRIVE_PATH=/dev/cdrom SIMDRIVE_IMAGE=$work/disc.cue "$cddrive")
[ "$found" = /dev/cdrom ] || { echo "found '$found', not /dev/cdrom" >&2; exit 1; }
# An unreadable node is no drive to libcdio's search.
if LD_PRELOAD=$library SIMDRIVE_IMAGE=$work/disc.cue SIMDRIVE_FAULTS='permission=no' "$cddrive" >/dev/null; then
  echo "a drive without read permission was offered" >&2
  exit 1
fi
echo ok
