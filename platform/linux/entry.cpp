// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux executable's entry point. The launcher takes one optional
// argument, the drive or disc image to play, and hands it on as
// CDAUDIO_DEVICE, where the device looks for it; the program itself starts
// at WinMain, as it does on the platform, shown normally and without a
// command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/common/warn.h"
#include "platform/linux/mpris/service.h"
#include "platform/platform.h"

namespace {

constexpr int UsageStatus = 2;

// No options: an argument that starts with '-' is a mistaken option, and an
// empty one names nothing. A file called "-x.cue" is reached as "./-x.cue".
bool IsSource(const char* argument) { return argument[0] != '\0' && argument[0] != '-'; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 || (argc == 2 && !IsSource(argv[1]))) {
    std::fprintf(stderr, "usage: korvane [DRIVE | IMAGE]\n");
    return UsageStatus;
  }
  if (argc == 2 && setenv("CDAUDIO_DEVICE", argv[1], 1) != 0) {
    common::Warn("cannot pass on %s: %s", argv[1], std::strerror(errno));
    return 1;
  }
  // On the desktop's session bus, if there is one, for media keys and
  // media widgets.
  mpris::Start();
  static char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
