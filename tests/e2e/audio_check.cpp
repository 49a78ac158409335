// audio_check: what the player sounded, read from SDL's disk capture.
//
//   audio_check count CAPTURE BIN LSN
//     prints how often sector LSN of the disc image occurs in the capture
//   audio_check ends-with CAPTURE BIN START COUNT
//     succeeds when sectors [START, START + COUNT) occur in the capture,
//     whole and in order, and only silence follows their last occurrence
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/disc_image.h"

using Bytes = std::vector<uint8_t>;

static Bytes ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

int main(int argc, char** argv) {
  if (argc == 5 && strcmp(argv[1], "count") == 0) {
    Bytes capture = ReadAll(argv[2]);
    Bytes sector = mkdisc::ReadBin(argv[3], atoi(argv[4]), 1);
    int count = 0;
    for (auto at = capture.begin();
         (at = std::search(at, capture.end(), sector.begin(), sector.end())) != capture.end(); at++)
      count++;
    printf("%d\n", count);
    return 0;
  }
  if (argc == 6 && strcmp(argv[1], "ends-with") == 0) {
    Bytes capture = ReadAll(argv[2]);
    Bytes range = mkdisc::ReadBin(argv[3], atoi(argv[4]), atoi(argv[5]));
    auto last = std::find_end(capture.begin(), capture.end(), range.begin(), range.end());
    if (range.empty() || last == capture.end()) {
      fprintf(stderr, "audio_check: the range was not played whole and in order\n");
      return 1;
    }
    auto after = last + static_cast<std::ptrdiff_t>(range.size());
    if (std::any_of(after, capture.end(), [](uint8_t b) { return b != 0; })) {
      fprintf(stderr, "audio_check: sound after the range\n");
      return 1;
    }
    return 0;
  }
  fprintf(stderr, "usage: audio_check count CAPTURE BIN LSN | ends-with CAPTURE BIN START COUNT\n");
  return 2;
}
