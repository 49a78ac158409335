// SPDX-License-Identifier: GPL-3.0-or-later
// The player on the desktop's session bus, as media keys, the desktops'
// media widgets, the lock screen and playerctl expect to find it: MPRIS,
// org.mpris.MediaPlayer2.korvane at /org/mpris/MediaPlayer2.
//
// It runs on the GUI thread, in the window's own loop: the bus's
// descriptor and time-out are watched there, and what it publishes is
// worked out afresh each time the loop is about to wait. It learns what to
// publish from what the system does through the platform (its requests to
// the device, the texts it sets, the slider it moves) and acts through the
// window as a user would: a click on an enabled button, the close button.
#ifndef KORVANE_PLATFORM_LINUX_MPRIS_SERVICE_H
#define KORVANE_PLATFORM_LINUX_MPRIS_SERVICE_H

namespace mpris {

// Joins the session bus, if there is one, for the rest of the process.
// Without a session bus, or if the bus goes away, the player runs on as
// before and nothing is said. Once, before the dialog starts.
void Start();

}  // namespace mpris

#endif
