// The comctl32 function the system calls. The trackbar, the one common
// control the dialog uses, is built into the dialog manager and always
// there.
#include "platform/platform.h"

extern "C" void WINAPI InitCommonControls(void) {}
