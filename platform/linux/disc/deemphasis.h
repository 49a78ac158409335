// SPDX-License-Identifier: GPL-3.0-or-later
// Tracks recorded with pre-emphasis (the 50 µs / 15 µs treble boost a
// disc may carry, flagged in its table of contents) played back flat: a
// reader over the disc's reader that filters those tracks' samples with
// the de-emphasis curve and passes every other sector through untouched.
#ifndef KORVANE_PLATFORM_LINUX_DISC_DEEMPHASIS_H
#define KORVANE_PLATFORM_LINUX_DISC_DEEMPHASIS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/linux/disc/disc.h"

namespace disc {

// The de-emphasis filter for one channel at 44100 Hz: a biquad fitted to
// the analog curve H(s) = (1 + s·15 µs) / (1 + s·50 µs), within 0.03 dB
// from 20 Hz to 20 kHz, unity gain at DC.
class Deemphasis {
 public:
  // Continues from the samples filtered so far.
  int16_t Filter(int16_t sample);
  // Forgets them: the next sample is taken as having lasted for ever, so
  // a restart makes no click.
  void Reset() { fresh_ = true; }

 private:
  bool fresh_ = true;
  double state1_ = 0;
  double state2_ = 0;
};

class DeemphasisReader : public SectorReader {
 public:
  DeemphasisReader(std::unique_ptr<SectorReader> inner, const TrackTable& table);

  bool Read(int32_t lsn, int32_t count, uint8_t* out) override;
  int32_t PreferredBatch() const override { return inner_->PreferredBatch(); }
  int32_t ReadAhead() const override { return inner_->ReadAhead(); }
  int32_t LowWater() const override { return inner_->LowWater(); }
  bool DiscGone() const override { return inner_->DiscGone(); }

 private:
  bool Emphasised(int32_t lsn) const;

  std::unique_ptr<SectorReader> inner_;
  std::vector<std::pair<int32_t, int32_t>> emphasised_;  // [start, end) of flagged tracks
  Deemphasis left_, right_;
  // The filters run on from a read that starts where the last one ended
  // in an emphasised sector; any other read starts them afresh.
  int32_t next_ = -1;
};

// Wraps `disc`'s reader in a DeemphasisReader when any of its tracks is
// flagged; else leaves it as it is, every sample bit-exact.
void UndoPreEmphasis(Disc* disc);

}  // namespace disc

#endif
