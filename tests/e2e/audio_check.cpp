// SPDX-License-Identifier: GPL-3.0-or-later
// audio_check: what the player sounded, read from a raw capture of its
// output (s16le stereo at 44100 Hz).
//
//   audio_check count CAPTURE BIN LSN
//     prints how often sector LSN of the disc image occurs in the capture
//   audio_check ends-with CAPTURE BIN START COUNT
//     succeeds when sectors [START, START + COUNT) occur in the capture,
//     whole and in order, and only silence follows their last occurrence
//   audio_check runs CAPTURE BIN
//     prints how many unbroken runs of the disc's samples the capture
//     holds (silence around them aside) and how many sectors they span:
//     one run for a disc played through, one more for each break
//   audio_check spans CAPTURE BIN
//     prints each such run as the disc's sectors it holds, "FROM TO" (TO
//     past the last, in sectors with fractions), one line each, then
//     "other N": the bytes of sound that are not the disc's
//   audio_check sound CAPTURE FROM
//     prints the byte offsets of the first sound at or after FROM and of
//     the end of the last sound (-1 -1 when silent)
//   audio_check hush CAPTURE
//     prints the frames from the first sound to the end of the last, and
//     the longest run of silent frames between them (a break, where the
//     sound was resampled and cannot be compared with the disc's)
//   audio_check faults CAPTURE BIN
//     how a disc with faults sounded: "CLICKS OTHER INSERTED LONGEST",
//     the steps from one sample to the next larger than any in the disc,
//     the milliseconds of sound that are not the disc's, the milliseconds
//     the sound lasted beyond the disc's length (negative: lost), and the
//     longest silence within it, in milliseconds
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A run of the disc's samples in a capture, as bytes of the disc.
struct Span {
  size_t from;
  size_t to;
};

// The runs of the disc's samples in `capture`, in order; returns how many
// bytes of sound are not the disc's.
static size_t FindRuns(const Bytes& capture, const Bytes& disc, std::vector<Span>* spans) {
  constexpr size_t Probe = 256;  // enough to place a run in the disc
  size_t other = 0, at = 0;
  while (at + Probe <= capture.size()) {
    auto from = capture.begin() + static_cast<std::ptrdiff_t>(at);
    if (std::all_of(from, from + 4, [](uint8_t b) { return b == 0; })) {
      at += 4;
      continue;
    }
    auto found = std::search(disc.begin(), disc.end(), from, from + Probe);
    if (found == disc.end()) {
      other += 4;
      at += 4;
      continue;
    }
    size_t start = at;
    for (auto in = found; at < capture.size() && in != disc.end() && capture[at] == *in; in++) at++;
    at -= (at - start) % 4;
    auto first = static_cast<size_t>(found - disc.begin());
    spans->push_back(Span{first, first + at - start});
  }
  return other;
}

// Where a capture sounds, in frames: from its first sound to the end of
// its last (both 0 when silent), and its longest silence in between.
struct Sounded {
  size_t first = 0;
  size_t last = 0;
  size_t longest = 0;
};

static Sounded FindSound(const Bytes& capture) {
  Sounded sounded;
  bool heard = false;
  size_t run = 0;
  for (size_t frame = 0; frame < capture.size() / 4; frame++) {
    auto at = capture.begin() + static_cast<std::ptrdiff_t>(4 * frame);
    if (std::all_of(at, at + 4, [](uint8_t b) { return b == 0; })) {
      run++;
      continue;
    }
    if (heard) sounded.longest = std::max(sounded.longest, run);
    if (!heard) sounded.first = frame;
    heard = true;
    sounded.last = frame + 1;
    run = 0;
  }
  return sounded;
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
  if (argc == 4 && (strcmp(argv[1], "runs") == 0 || strcmp(argv[1], "spans") == 0)) {
    Bytes capture = ReadAll(argv[2]);
    Bytes disc = ReadAll(argv[3]);
    std::vector<Span> spans;
    size_t other = FindRuns(capture, disc, &spans);
    if (strcmp(argv[1], "spans") == 0) {
      for (const Span& span : spans)
        printf("%.2f %.2f\n", static_cast<double>(span.from) / disc::SectorBytes,
               static_cast<double>(span.to) / disc::SectorBytes);
      printf("other %zu\n", other);
      return 0;
    }
    size_t matched = 0;
    for (const Span& span : spans) matched += span.to - span.from;
    printf("%zu runs, %.1f sectors\n", spans.size(),
           static_cast<double>(matched) / disc::SectorBytes);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "sound") == 0) {
    Bytes capture = ReadAll(argv[2]);
    size_t from = std::min(static_cast<size_t>(atoll(argv[3])), capture.size());
    auto noise = [](uint8_t b) { return b != 0; };
    auto first =
        std::find_if(capture.begin() + static_cast<std::ptrdiff_t>(from), capture.end(), noise);
    if (first == capture.end()) {
      printf("-1 -1\n");
      return 0;
    }
    auto last = std::find_if(capture.rbegin(), capture.rend(), noise).base();
    printf("%td %td\n", first - capture.begin(), last - capture.begin());
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "hush") == 0) {
    const Sounded sounded = FindSound(ReadAll(argv[2]));
    printf("%zu %zu\n", sounded.last - sounded.first, sounded.longest);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "faults") == 0) {
    Bytes capture = ReadAll(argv[2]);
    Bytes disc = ReadAll(argv[3]);
    auto sample = [](const Bytes& pcm, size_t frame, int c) {
      return static_cast<int16_t>(pcm[frame * 4 + 2 * c] | pcm[frame * 4 + 2 * c + 1] << 8);
    };
    auto largestSteps = [&](const Bytes& pcm, size_t from, size_t to, int above, size_t* count) {
      int largest = 0;
      for (size_t frame = from + 1; frame < to; frame++) {
        int step = 0;
        for (int c = 0; c < 2; c++)
          step = std::max(step, std::abs(sample(pcm, frame, c) - sample(pcm, frame - 1, c)));
        largest = std::max(largest, step);
        if (count && step > above) ++*count;
      }
      return largest;
    };
    const int discLargest = largestSteps(disc, 0, disc.size() / 4, 0, nullptr);
    const Sounded sounded = FindSound(capture);
    size_t clicks = 0;
    largestSteps(capture, sounded.first, sounded.last, discLargest, &clicks);
    std::vector<Span> spans;
    const size_t other = FindRuns(capture, disc, &spans);
    printf(
        "%zu %.1f %.1f %.1f\n", clicks, static_cast<double>(other) / 176.4,
        (static_cast<double>(sounded.last - sounded.first) - static_cast<double>(disc.size() / 4)) /
            44.1,
        static_cast<double>(sounded.longest) / 44.1);
    return 0;
  }
  fprintf(stderr,
          "usage: audio_check count CAPTURE BIN LSN | ends-with CAPTURE BIN START COUNT | "
          "runs|spans CAPTURE BIN | sound CAPTURE FROM | hush CAPTURE | faults CAPTURE BIN\n");
  return 2;
}
