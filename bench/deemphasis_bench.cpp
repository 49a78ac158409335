// SPDX-License-Identifier: GPL-3.0-or-later
// deemphasis_bench RAW: CPU time to de-emphasise RAW (16-bit stereo at
// 44100 Hz) through the reader a flagged disc plays through, in the
// batches playback reads; printed per second of audio. bench/deemphasis
// runs sox's own de-emphasis over the same file beside it. Then the CPU
// time of concealment over the same audio at its worst: in every sector
// a burst the drive flagged, and every fifth sector lost.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/linux/disc/conceal.h"
#include "platform/linux/disc/deemphasis.h"

namespace {

// The file's sectors, as a disc of one flagged track.
class MemoryReader : public disc::SectorReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool Read(int32_t lsn, int32_t count, uint8_t* out) override {
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(lsn) * disc::SectorBytes,
                static_cast<size_t>(count) * disc::SectorBytes, out);
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: deemphasis_bench RAW\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  const auto sectors = static_cast<int32_t>(bytes.size() / disc::SectorBytes);
  disc::TrackTable table;
  table.tracks.push_back(disc::Track{0, -1, true, 1, true});
  table.leadout = sectors;
  disc::Disc loaded;
  loaded.table = table;
  loaded.reader = std::make_unique<MemoryReader>(std::move(bytes));
  disc::UndoPreEmphasis(&loaded);
  std::vector<uint8_t> out(75 * disc::SectorBytes);
  const double start = CpuSeconds();
  for (int32_t at = 0; at < sectors; at += 75)
    loaded.reader->Read(at, std::min(75, sectors - at), out.data());
  const double used = CpuSeconds() - start;
  const double seconds = sectors / 75.0;
  printf("korvane: %.1f s of audio in %.3f s of CPU: %.1f us per second of audio\n", seconds, used,
         used / seconds * 1e6);

  constexpr size_t Frames = disc::SectorBytes / 4;
  constexpr int32_t Batch = 25;  // the drive reader's
  std::vector<bool> flagged(Batch * Frames, false);
  for (int32_t sector = 0; sector < Batch; sector++)
    for (size_t frame = 0; frame < Frames; frame++)
      flagged[sector * Frames + frame] = sector % 5 == 4 || (frame >= 300 && frame < 450);
  disc::ConcealEdge edge;
  size_t concealed = 0;
  double concealUsed = 0;
  for (int32_t at = 0; at + Batch <= sectors; at += Batch) {
    loaded.reader->Read(at, Batch, out.data());
    const double before = ThreadCpuSeconds();
    concealed += disc::Conceal(out.data(), flagged.size(), flagged, true, &edge);
    concealUsed += ThreadCpuSeconds() - before;
  }
  printf("concealment (%.0f%% of the samples): %.1f us per second of audio\n",
         100.0 * static_cast<double>(concealed) /
             (static_cast<double>(sectors / Batch * Batch) * Frames),
         concealUsed / seconds * 1e6);
  return 0;
}
