// The process: its one module, its end, and the common controls, which
// this backend builds in.
#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/ui/trace.h"
#include "platform/platform.h"

namespace {
char executableModule;
}

// The executable is the only module: no name gives its handle, any other
// name nothing.
extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return name ? nullptr : reinterpret_cast<HMODULE>(&executableModule);
}

// The trackbar and the other controls are always there.
extern "C" void WINAPI InitCommonControls(void) {}

// By now the dialog is gone and the close sequence has closed the device,
// whose thread has ended; exit() runs the remaining destructors and
// flushes the streams.
extern "C" void WINAPI ExitProcess(UINT exitCode) {
  ui::trace::Publish();
  std::exit(int(exitCode));
}
