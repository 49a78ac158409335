// SPDX-License-Identifier: GPL-3.0-or-later
// wsprintfA as the platform has it: printf formatting of integers and
// strings into a caller's buffer, at most 1024 characters.
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

extern "C" int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  enum { Limit = 1024 };
  va_list args;
  va_start(args, format);
  int length = vsnprintf(buffer, Limit + 1, format, args);
  va_end(args);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return length > Limit ? Limit : length;
}
