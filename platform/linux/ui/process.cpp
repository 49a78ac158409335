// SPDX-License-Identifier: GPL-3.0-or-later
// The process: its one module, and its end.
#include <cstdlib>

#include "platform/linux/ui/trace.h"
#include "platform/platform.h"

namespace {
char executableModule;
}

extern "C" {

// The executable is the only module: no name gives its handle, any other
// name nothing.
HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return name ? nullptr : reinterpret_cast<HMODULE>(&executableModule);
}

// By now the dialog is gone and the close sequence has closed the device,
// whose thread has ended; exit() runs the remaining destructors and
// flushes the streams.
void WINAPI ExitProcess(UINT exitCode) {
  ui::trace::Publish();
  std::exit(static_cast<int>(exitCode));
}

}  // extern "C"
