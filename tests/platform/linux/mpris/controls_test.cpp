// SPDX-License-Identifier: GPL-3.0-or-later
// The media service clicks the window's buttons by number: the numbers it
// knows must be the template's.
#include "platform/linux/mpris/controls.h"

#include "window/resource.h"

static_assert(mpris::TrackCounter == IDC_TRACK);
static_assert(mpris::Slider == IDC_SLIDER);
static_assert(mpris::PlayButton == IDC_PLAY);
static_assert(mpris::StopButton == IDC_STOP);
static_assert(mpris::PreviousButton == IDC_PREV);
static_assert(mpris::NextButton == IDC_NEXT);
