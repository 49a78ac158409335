// The .res that windres compiled from the resource script, built into the
// executable as read-only data.
#include "platform/linux/resources/resources.h"

// KORVANE_RES_FILE names the compiled .res; the build passes it in.
asm(".pushsection .rodata.korvane_res, \"a\"\n"
    ".balign 16\n"
    "korvane_res_begin:\n"
    ".incbin \"" KORVANE_RES_FILE
    "\"\n"
    "korvane_res_end:\n"
    ".popsection\n");

extern "C" const char korvane_res_begin[];
extern "C" const char korvane_res_end[];

namespace resources {

std::string_view EmbeddedRes() {
  return std::string_view(korvane_res_begin,
                          static_cast<size_t>(korvane_res_end - korvane_res_begin));
}

}  // namespace resources
