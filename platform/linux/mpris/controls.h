// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls the media service reads and clicks, by the
// identifiers the dialog template gives them. The backend knows no more of
// the window than this; tests/platform/linux/mpris/controls_test.cpp holds
// these values to the template's own.
#ifndef KORVANE_PLATFORM_LINUX_MPRIS_CONTROLS_H
#define KORVANE_PLATFORM_LINUX_MPRIS_CONTROLS_H

namespace mpris {

constexpr int TrackCounter = 1000;  // "3 / 12"
constexpr int Slider = 1002;        // the playing track's seconds
constexpr int PlayButton = 1005;
constexpr int StopButton = 1006;
constexpr int PreviousButton = 1007;
constexpr int NextButton = 1008;

}  // namespace mpris

#endif
