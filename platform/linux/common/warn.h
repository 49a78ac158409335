// SPDX-License-Identifier: GPL-3.0-or-later
// The one form of the lines the player leaves on stderr: "korvane: " and
// what went wrong, as one write, so that lines from two threads never mix.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_WARN_H
#define KORVANE_PLATFORM_LINUX_COMMON_WARN_H

namespace common {

// printf's format; the line ends by itself.
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace common

#endif
