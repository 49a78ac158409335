// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/disc/deemphasis.h"

#include <algorithm>
#include <cmath>

namespace disc {

namespace {

// The biquad, transposed direct form II. Fitted by minimising the largest
// error in dB against the analog curve over 20 Hz - 20 kHz (0.025 dB); its
// poles lie at 0.640 and -0.072. The numerator is scaled for a gain of
// exactly 1 at DC, which moves the curve by 0.01 dB.
constexpr double A1 = -0.5682445534063922;
constexpr double A2 = -0.046217464545645154;
constexpr double FittedB0 = 0.46042600238302894;
constexpr double FittedB1 = -0.061408501976610484;
constexpr double FittedB2 = -0.012978275512691716;
constexpr double Unity = (1 + A1 + A2) / (FittedB0 + FittedB1 + FittedB2);
constexpr double B0 = FittedB0 * Unity;
constexpr double B1 = FittedB1 * Unity;
constexpr double B2 = FittedB2 * Unity;

int16_t Le16(const uint8_t* bytes) {
  return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | bytes[1] << 8));
}

void PutLe16(uint8_t* bytes, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  bytes[0] = static_cast<uint8_t>(bits & 0xFF);
  bytes[1] = static_cast<uint8_t>(bits >> 8);
}

}  // namespace

int16_t Deemphasis::Filter(int16_t sample) {
  const double x = sample;
  if (fresh_) {
    // The state of a constant input x, for which the output is x too.
    state2_ = (B2 - A2) * x;
    state1_ = (B1 - A1) * x + state2_;
    fresh_ = false;
  }
  const double y = B0 * x + state1_;
  state1_ = B1 * x - A1 * y + state2_;
  state2_ = B2 * x - A2 * y;
  return static_cast<int16_t>(std::clamp(std::lround(y), -32768L, 32767L));
}

DeemphasisReader::DeemphasisReader(std::unique_ptr<SectorReader> inner, const TrackTable& table)
    : inner_(std::move(inner)) {
  for (int number = table.first; number <= table.Last(); number++)
    if (table.Numbered(number).audio && table.Numbered(number).preEmphasis)
      emphasised_.emplace_back(table.Numbered(number).start, table.NextStart(number));
}

bool DeemphasisReader::Emphasised(int32_t lsn) const {
  return std::any_of(emphasised_.begin(), emphasised_.end(),
                     [&](const auto& track) { return lsn >= track.first && lsn < track.second; });
}

bool DeemphasisReader::Read(int32_t lsn, int32_t count, uint8_t* out) {
  if (!inner_->Read(lsn, count, out)) {
    next_ = -1;
    return false;
  }
  for (int32_t i = 0; i < count; i++) {
    const int32_t sector = lsn + i;
    if (!Emphasised(sector)) {
      next_ = -1;  // a flat sector between: the filters start afresh after it
      continue;
    }
    if (sector != next_) {
      left_.Reset();
      right_.Reset();
    }
    uint8_t* bytes = out + static_cast<size_t>(i) * SectorBytes;
    for (int at = 0; at < SectorBytes; at += 4) {
      PutLe16(bytes + at, left_.Filter(Le16(bytes + at)));
      PutLe16(bytes + at + 2, right_.Filter(Le16(bytes + at + 2)));
    }
    next_ = sector + 1;
  }
  return true;
}

void UndoPreEmphasis(Disc* disc) {
  const TrackTable& table = disc->table;
  if (std::none_of(table.tracks.begin(), table.tracks.end(),
                   [](const Track& track) { return track.audio && track.preEmphasis; }))
    return;
  disc->reader = std::make_unique<DeemphasisReader>(std::move(disc->reader), table);
}

}  // namespace disc
