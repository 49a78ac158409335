// mkdisc: writes a disc image of audio tones, a cue sheet or a cdrdao
// .toc (by the name's ending) over a bin, or a Nero .nrg.
//
//   mkdisc [options] OUT.cue|OUT.toc|OUT.nrg SECTORS...
//
// Each SECTORS makes one audio track of that many sectors (75 a second).
//   --pregap N        INDEX 00 N sectors before each track but the first
//   --data-first N    a data track of N sectors before the audio
//   --data-session N  a data track of N sectors in a second session
//   --bin NAME        name the bin NAME instead of after the sheet
//   --swap            a .toc's bin holds little-endian samples, marked SWAP
//                     (else big-endian, as cdrdao's raw files)
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "tools/disc_image.h"

static int Usage() {
  fprintf(stderr,
          "usage: mkdisc [--pregap N] [--data-first N] [--data-session N] [--bin NAME] [--swap] "
          "OUT.cue|OUT.toc|OUT.nrg SECTORS...\n");
  return 2;
}

static bool ParseCount(const char* text, int* value) {
  char* end;
  long parsed = strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || parsed < 0 || parsed > 100 * 60 * 75) return false;
  *value = static_cast<int>(parsed);
  return true;
}

int main(int argc, char** argv) {
  mkdisc::DiscImageSpec spec;
  std::string cue;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    int* option = arg == "--pregap"         ? &spec.pregap
                  : arg == "--data-first"   ? &spec.dataFirst
                  : arg == "--data-session" ? &spec.dataSession
                                            : nullptr;
    if (arg == "--swap") {
      spec.swap = true;
    } else if (option || arg == "--bin") {
      if (++i == argc) return Usage();
      if (!option)
        spec.binName = argv[i];
      else if (!ParseCount(argv[i], option))
        return Usage();
    } else if (cue.empty()) {
      cue = arg;
    } else {
      int sectors;
      if (!ParseCount(argv[i], &sectors)) return Usage();
      spec.audioSectors.push_back(sectors);
    }
  }
  if (cue.empty() || spec.audioSectors.empty()) return Usage();
  auto ends = [&cue](const char* ending) {
    return cue.size() > 4 && cue.compare(cue.size() - 4, 4, ending) == 0;
  };
  spec.toc = ends(".toc");
  spec.nrg = ends(".nrg");
  mkdisc::DiscImage image;
  std::string error;
  if (!mkdisc::WriteDiscImage(cue, spec, &image, &error)) {
    fprintf(stderr, "mkdisc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
