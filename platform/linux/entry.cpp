// The Linux executable's entry point: the program starts at WinMain, as it
// does on the platform, shown normally and without a command line.
#include "platform/platform.h"

int main() {
  static char commandLine[] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWNORMAL);
}
