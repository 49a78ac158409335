// SPDX-License-Identifier: GPL-3.0-or-later
// The .res that windres compiled from the resource script, built into the
// executable as read-only data.
#include "platform/linux/resources/resources.h"

// KORVANE_RES_FILE names the compiled .res; the build passes it in.
asm(".pushsection .rodata.korvane_res, \"a\"\n"
    ".balign 16\n"
    "KorvaneResBegin:\n"
    ".incbin \"" KORVANE_RES_FILE
    "\"\n"
    "KorvaneResEnd:\n"
    ".popsection\n");

extern "C" const char KorvaneResBegin[];
extern "C" const char KorvaneResEnd[];

namespace resources {

std::string_view EmbeddedRes() {
  return std::string_view(KorvaneResBegin, static_cast<size_t>(KorvaneResEnd - KorvaneResBegin));
}

}  // namespace resources
