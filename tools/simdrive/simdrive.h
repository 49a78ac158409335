// SPDX-License-Identifier: GPL-3.0-or-later
// Simulated CD drives at the kernel's interface. Linked into a program, or
// preloaded into one (LD_PRELOAD=libkorvane_simdrive.so), this library
// answers open, close, stat, access and ioctl for the drives' device nodes
// as the kernel and a drive would, and passes everything else on.
//
// Without Install, the drives come from the environment: SIMDRIVE_PATH
// (default /dev/sr0), SIMDRIVE_LINKS (other names of its node, links to
// it, separated by spaces: "/dev/cdrom"), SIMDRIVE_IMAGE (a cue sheet;
// unset: an empty drive), SIMDRIVE_FAULTS, SIMDRIVE_CONTROL and SIMDRIVE_JOURNAL (see
// faults.h and journal.h), and a second drive likewise from SIMDRIVE2_*
// (default /dev/sr1): the kernel's order is the minor numbers', 0 and 1.
// The library stays out of the way unless SIMDRIVE_PATH or
// SIMDRIVE_IMAGE is set.
#ifndef KORVANE_TOOLS_SIMDRIVE_SIMDRIVE_H
#define KORVANE_TOOLS_SIMDRIVE_SIMDRIVE_H

#include <vector>

#include "tools/simdrive/drive.h"

namespace simdrive {

// Replaces the drives with `setups` (none: no drive at all). Nodes still
// open on the old drives are forgotten; close them first.
void Install(const std::vector<DriveSetup>& setups);

}  // namespace simdrive

#endif
