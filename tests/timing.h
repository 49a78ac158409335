// SPDX-License-Identifier: GPL-3.0-or-later
// How much time a check may allow in the build under test. The sanitizer
// builds run our code several times slower than real time: a limit on how
// soon something happens is widened there by TimeAllowance, and the
// thread-checking build, where the sound server's buffer runs dry, leaves
// out the checks that need real time.
#ifndef KORVANE_TESTS_TIMING_H
#define KORVANE_TESTS_TIMING_H

#if defined(KORVANE_TESTS_THREAD_CHECKED)
constexpr double TimeAllowance = 4;
constexpr bool RealTime = false;
#elif defined(KORVANE_TESTS_ADDRESS_CHECKED)
constexpr double TimeAllowance = 2;
constexpr bool RealTime = true;
#else
constexpr double TimeAllowance = 1;
constexpr bool RealTime = true;
#endif

#endif
