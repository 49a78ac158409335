// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/disc/conceal.h"

#include <algorithm>
#include <cmath>

namespace disc {

namespace {

int16_t Get(const uint8_t* pcm, size_t frame, int channel) {
  const uint8_t* at = pcm + frame * 4 + static_cast<size_t>(channel) * 2;
  return static_cast<int16_t>(at[0] | at[1] << 8);
}

void Put(uint8_t* pcm, size_t frame, int channel, double value) {
  const auto sample = static_cast<int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
  uint8_t* at = pcm + frame * 4 + static_cast<size_t>(channel) * 2;
  at[0] = static_cast<uint8_t>(sample & 0xFF);
  at[1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
}

// Frames [from, to) as a line from `left` (the sample before `from`) to
// `right` (the one at `to`).
void Bridge(uint8_t* pcm, size_t from, size_t to, const int16_t* left, const int16_t* right) {
  const double steps = static_cast<double>(to - from + 1);
  for (size_t frame = from; frame < to; frame++) {
    const double t = static_cast<double>(frame - from + 1) / steps;
    for (int c = 0; c < 2; c++) Put(pcm, frame, c, left[c] + (right[c] - left[c]) * t);
  }
}

// Frames [from, to): fading out from `left`, silent, and fading in to
// `right` (or staying silent when it is null).
void Fade(uint8_t* pcm, size_t from, size_t to, const int16_t* left, const int16_t* right) {
  const size_t length = to - from;
  const size_t out = std::min(FadeFrames, right ? length / 2 : length);
  const size_t in = right ? std::min(FadeFrames, length - out) : 0;
  for (size_t frame = from; frame < to; frame++) {
    const size_t k = frame - from;
    for (int c = 0; c < 2; c++) {
      double value = 0;
      if (k < out) value = left[c] * (1.0 - static_cast<double>(k + 1) / (out + 1));
      if (right && k >= length - in)
        value = right[c] * static_cast<double>(k - (length - in) + 1) / (in + 1);
      Put(pcm, frame, c, value);
    }
  }
}

}  // namespace

size_t Conceal(uint8_t* pcm, size_t frames, const std::vector<bool>& flagged, bool follows,
               ConcealEdge* edge) {
  if (!follows) *edge = ConcealEdge();
  size_t concealed = 0;
  size_t frame = 0;
  // After a run faded out at the end of the batch before, what follows it
  // fades in.
  const bool fadedOut = edge->fadedOut;
  edge->fadedOut = false;
  if (fadedOut)
    for (size_t k = 0; k < frames && k < FadeFrames && !flagged[k]; k++)
      for (int c = 0; c < 2; c++)
        Put(pcm, k, c, Get(pcm, k, c) * static_cast<double>(k + 1) / (FadeFrames + 1));
  while (frame < frames) {
    if (!flagged[frame]) {
      frame++;
      continue;
    }
    size_t end = frame;
    while (end < frames && flagged[end]) end++;
    int16_t left[2] = {0, 0}, right[2] = {0, 0};
    if (frame > 0) {
      for (int c = 0; c < 2; c++) left[c] = Get(pcm, frame - 1, c);
    } else if (edge->known && !fadedOut) {
      std::copy_n(edge->last, 2, left);
    }
    if (end < frames) {
      for (int c = 0; c < 2; c++) right[c] = Get(pcm, end, c);
      if (end - frame <= BridgedFrames)
        Bridge(pcm, frame, end, left, right);
      else
        Fade(pcm, frame, end, left, right);
    } else {
      // What comes after is in the next batch: fade out, and in there.
      Fade(pcm, frame, end, left, nullptr);
      edge->fadedOut = true;
    }
    concealed += end - frame;
    frame = end;
  }
  if (frames > 0) {
    edge->known = true;
    for (int c = 0; c < 2; c++) edge->last[c] = Get(pcm, frames - 1, c);
  }
  return concealed;
}

}  // namespace disc
