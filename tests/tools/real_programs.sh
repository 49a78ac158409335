#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Real CD programs, none of them ours, over the simulated drive: each must
# read the disc's table of contents as the image has it (pregaps of 30
# sectors before tracks 2 and 3, which cdrdao finds from the Q
# sub-channel; track 2 recorded with pre-emphasis), its catalogue number
# and ISRC, its CD-Text, and rip its samples bit-exact. cdparanoia, icedax and
# cdrdao speak SG_IO; cd-paranoia and cd-info go through libcdio.
# Usage: real_programs.sh LIBSIMDRIVE MKDISC
set -euo pipefail
library=$1 mkdisc=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$mkdisc" --pregap 30 --pre-emphasis 2 --title "Dawn Songs" --title "夜明けの歌" disc.cue \
  300 200 150 >/dev/null
# A catalogue number for the disc and an ISRC for track 2, which the Q
# sub-channel carries.
sed -i -e '1i CATALOG 4006381333931' -e '/TRACK 02 AUDIO/a\    ISRC JPK631400002' disc.cue
# A drive that takes time to seek, as paranoia's cache check expects.
drive() { LD_PRELOAD=$library SIMDRIVE_IMAGE=$work/disc.cue SIMDRIVE_FAULTS=seek=100 timeout 120 "$@"; }
status=0
check() { # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; status=1; fi
}

# The tables of contents: starts, lengths, the pre-emphasis flag.
drive cdparanoia -d /dev/sr0 -Q 2>cdparanoia.toc || true
check "cdparanoia reads the table" diff <(grep -E '^ +[0-9]+\.' cdparanoia.toc | awk '{ print $1, $2, $4, $7 }') \
  <(printf '1. 330 0 no\n2. 200 330 yes\n3. 120 530 no\n')
drive cd-info --no-header --no-device-info --no-cddb --no-analyze -C /dev/sr0 >cd-info.toc 2>&1 || true
check "cd-info reads the table" diff <(grep -E '^ *[0-9]+: ' cd-info.toc |
  awk '{ print $1, $3, $4, ($4 == "audio" ? $NF : "") }') \
  <(printf '1: 000000 audio no\n2: 000330 audio yes\n3: 000530 audio no\n170: 000650 leadout \n')
drive cdrdao read-toc --device /dev/sr0 --datafile cdrdao.bin cdrdao.toc >cdrdao.log 2>&1 || true
check "cdrdao reads the table and finds the pregaps" diff <(grep -E 'EMPHASIS|^FILE|^START' cdrdao.toc) \
  <(printf '%s\n' 'NO PRE_EMPHASIS' 'FILE "cdrdao.bin" 0 00:04:00' 'PRE_EMPHASIS' \
    'FILE "cdrdao.bin" 00:04:00 00:02:50' 'START 00:00:30' 'NO PRE_EMPHASIS' \
    'FILE "cdrdao.bin" 00:06:50 00:02:00' 'START 00:00:30')
check "cdrdao finds no Q sub-channel CRC errors" bash -c '! grep -q "CRC errors" cdrdao.log'
check "cdrdao finds the catalogue number and the ISRC" diff <(grep -E '^(CATALOG|ISRC)' cdrdao.toc) \
  <(printf '%s\n' 'CATALOG "4006381333931"' 'ISRC "JPK631400002"')
check "cd-info finds the catalogue number" grep -q 'Media Catalog Number (MCN): 4006381333931' \
  cd-info.toc

# The CD-Text: an English block, and a Japanese one in MS-JIS for the title
# Latin-1 cannot write.
drive cd-info --no-header --no-device-info --no-cddb /dev/sr0 >cd-info.text 2>&1 || true
check "cd-info reads both blocks of the CD-Text" diff \
  <(grep -E "^Language|TITLE" cd-info.text) \
  <(printf '%s\n' "Language 0 'English':" $'\tTITLE: Dawn Songs' "Language 1 'Japanese':" \
    $'\tTITLE: Ｄａｗｎ\u3000Ｓｏｎｇｓ' $'\tTITLE: 夜明けの歌')
check "cdrdao finds the CD-Text" grep -q 'TITLE "Dawn Songs"' cdrdao.toc

# The rips, against the image's own samples.
drive cdparanoia -d /dev/sr0 -r -- 1- cdparanoia.raw >/dev/null 2>cdparanoia.log || true
check "cdparanoia rips the disc bit-exact" cmp -s cdparanoia.raw disc.bin
check "cdparanoia finds the drive seeking as a drive does" \
  bash -c '! grep -q "seeking impossibly quickly" cdparanoia.log' 
drive cd-paranoia -d /dev/sr0 -r -- 1- cd-paranoia.raw >/dev/null 2>&1 || true
check "cd-paranoia rips the disc bit-exact" cmp -s cd-paranoia.raw disc.bin
drive icedax -D /dev/sr0 -t 1+3 -O raw -E little -g -H icedax.raw >/dev/null 2>&1 || true
check "icedax rips the disc bit-exact" cmp -s icedax.raw disc.bin
exit "$status"
