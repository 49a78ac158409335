// SPDX-License-Identifier: GPL-3.0-or-later
// drive-korvane.exe: runs korvane.exe and uses it as a person would, with
// the window's own buttons, its close and minimise commands and the warning's
// OK button, checking at each step what the window shows and what is kept in
// korvane.ini. The disc is the stand-in driver testcd.dll, which logs every
// request for the calling script to compare; this program chooses the disc,
// the log and the driver for each run.
//
// Usage: drive-korvane.exe SCENARIO KORVANE_EXE OUTPUT_DIR
//   no-drive        the platform's own "cdaudio" driver and no drive, twice
//   no-drive-stand-in  the same with the stand-in driver playing "no drive",
//                   for machines that do have a drive
//   disc            a three-track disc: transport, auto-advance and a
//                   minimised close, then a disc that begins with data
//   wine-driver-disc  Wine's own driver on the drive the script set up
//                   with a two-track disc: played through by itself
//   wine-driver-empty, wine-driver-data-first  the same driver on an
//                   empty drive and on a disc beginning with data: refused
// Prints one line per check ("ok" or "FAIL"); exits 1 when any check fails.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "window/resource.h"

namespace {

// The texts Korvane shows, in the ANSI code page (932).
const char NoDeviceText[] = "デバイスが開けませんでした";
const char NoAudioText[] = "CD オーディオファイルが入っていません";
const char WarningCaption[] = "Korvane Ver 1.00";
const char WindowCaption[] = "Korvane";

const int IdMessageText = 0xFFFF;  // the message box's text control

const char DiscOfThree[] = "A4:35.20 A3:07.00 A0:42.74";
const char DataFirstDisc[] = "D1:00.00 A3:00.00";
const DWORD LongPlayMs = 120000;  // outlasts a run: no play completes by itself
const DWORD ShortPlayMs = 1200;

std::string korvaneExe, outputDir;
int failures;

void Report(bool ok, const char* format, va_list args) {
  char message[1024];
  vsnprintf(message, sizeof message, format, args);
  printf("%s %s\n", ok ? "ok  " : "FAIL", message);
  fflush(stdout);
  if (!ok) failures++;
}

bool Check(bool ok, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Report(ok, format, args);
  va_end(args);
  return ok;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  char part[4];
  for (unsigned char c : bytes) {
    snprintf(part, sizeof part, "%02x", c);
    hex += part;
  }
  return hex;
}

// Polls until `done` holds or `timeoutMs` passes.
template <typename Condition>
bool WaitUntil(Condition done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

struct WindowSearch {
  DWORD process;
  const char* caption;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
  WindowSearch* search = (WindowSearch*)param;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[32], caption[64];
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  if (process == search->process && strcmp(className, "#32770") == 0 &&
      strcmp(caption, search->caption) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// A dialog of the given process with exactly this caption, or NULL.
HWND FindDialog(DWORD process, const char* caption) {
  WindowSearch search = {process, caption, NULL};
  EnumWindows(MatchDialog, (LPARAM)&search);
  return search.found;
}

std::string ItemText(HWND dialog, int id) {
  char text[256] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return (LRESULT)result;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }

// A click on one of the window's buttons, handled to its end when this
// returns. A person cannot click a disabled button, so neither does this.
void Click(HWND dialog, int id, const char* name) {
  if (!Check(Enabled(dialog, id), "%s is enabled to be clicked", name)) return;
  Ask(GetDlgItem(dialog, id), BM_CLICK);
}

POINT TopLeft(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  POINT point = {rect.left, rect.top};
  return point;
}

// What the window shows: counter, length, slider range and transport.
void CheckDisplay(HWND dialog, const char* track, const char* length, int seconds, bool playing,
                  const char* when) {
  std::string shownTrack = ItemText(dialog, IDC_TRACK), shownLength = ItemText(dialog, IDC_LENGTH);
  Check(shownTrack == track, "%s: counter shows \"%s\" (expected \"%s\")", when, shownTrack.c_str(),
        track);
  Check(shownLength == length, "%s: length shows \"%s\" (expected \"%s\")", when,
        shownLength.c_str(), length);
  HWND slider = GetDlgItem(dialog, IDC_SLIDER);
  int low = (int)Ask(slider, TBM_GETRANGEMIN), high = (int)Ask(slider, TBM_GETRANGEMAX);
  Check(low == 0 && high == seconds, "%s: slider spans %d..%d (expected 0..%d)", when, low, high,
        seconds);
  bool play = Enabled(dialog, IDC_PLAY), stop = Enabled(dialog, IDC_STOP);
  Check(play == !playing && stop == playing, "%s: Play %s, Stop %s (expected %s)", when,
        play ? "enabled" : "disabled", stop ? "enabled" : "disabled", playing ? "playing" : "idle");
}

// The window's pixels as the screen shows them, as a 24-bit BMP file.
void SaveScreenshot(HWND window, const char* name) {
  Sleep(300);  // let the window finish painting
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, (BITMAPINFO*)&info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  DWORD imageSize = (DWORD)(((width * 3 + 3) & ~3) * height);
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + imageSize;
  std::string path = outputDir + "\\" + name;
  FILE* file = fopen(path.c_str(), "wb");
  bool saved = file && fwrite(&header, sizeof header, 1, file) == 1 &&
               fwrite(&info, sizeof info, 1, file) == 1 && fwrite(bits, imageSize, 1, file) == 1;
  if (file) fclose(file);
  Check(saved, "screenshot %s (%dx%d)", name, width, height);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
}

std::string SettingsPath() {
  char directory[MAX_PATH];
  GetWindowsDirectoryA(directory, sizeof directory);
  return std::string(directory) + "\\korvane.ini";
}

std::string ReadFile(const std::string& path) {
  std::string content;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return content;
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, read);
  fclose(file);
  return content;
}

// korvane.ini holds exactly this position, in the platform's own layout.
void CheckStoredPosition(POINT expected, const char* when) {
  char text[128];
  snprintf(text, sizeof text, "[KORVANE]\r\nx=%ld\r\ny=%ld\r\n", expected.x, expected.y);
  std::string stored = ReadFile(SettingsPath());
  Check(stored == text, "%s: korvane.ini holds x=%ld, y=%ld (file: %s)", when, expected.x,
        expected.y, Hex(stored).c_str());
}

// How "cdaudio" is opened: the stand-in driver, or the platform's own.
void UseDriver(bool standIn) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\MCI", 0,
                      NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS) {
    Check(false, "the MCI driver key can be opened");
    return;
  }
  if (standIn)
    RegSetValueExA(key, "cdaudio", 0, REG_SZ, (const BYTE*)"testcd.dll", sizeof "testcd.dll");
  else
    RegDeleteValueA(key, "cdaudio");
  RegCloseKey(key);
}

// One run of korvane.exe, on the given disc with the given play time.
struct Run {
  PROCESS_INFORMATION process = {};
  std::string log;

  Run(const char* name, const char* disc, DWORD playMs) {
    log = outputDir + "\\" + name + ".log";
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("TESTCD_LOG", log.c_str());
    SetEnvironmentVariableA("TESTCD_DISC", disc);
    char ms[16];
    snprintf(ms, sizeof ms, "%lu", playMs);
    SetEnvironmentVariableA("TESTCD_PLAY_MS", ms);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + korvaneExe + "\"";
    printf("---- %s\n", name);
    Check(CreateProcessA(korvaneExe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL,
                         &startup, &process) != 0,
          "korvane.exe starts");
  }

  ~Run() {
    if (!process.hProcess) return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.hProcess, 99);
      WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }

  HWND WaitForDialog(const char* caption, bool visible) {
    HWND found = NULL;
    WaitUntil(
        [&] {
          found = FindDialog(process.dwProcessId, caption);
          return found && (!visible || IsWindowVisible(found));
        },
        15000);
    Check(found != NULL, "a window \"%s\" appears", caption);
    return found;
  }

  void CheckEndsWithCodeZero() {
    bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Check(ended && code == 0, "korvane.exe ends with exit code 0 (%s, code %lu)",
          ended ? "ended" : "still running", code);
  }
};

// Where the dialog manager centres a window of this size.
POINT CentredPosition(HWND window) {
  RECT rect, work;
  GetWindowRect(window, &rect);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  POINT centre = {(work.left + work.right - (rect.right - rect.left)) / 2,
                  (work.top + work.bottom - (rect.bottom - rect.top)) / 2};
  return centre;
}

// A refused start: the warning with its text, read back while it is shown
// (the window behind it is centred and hidden), dismissed with its OK button;
// the position stored is the centred one.
void CheckRefusal(Run& run, const char* text, const char* screenshot) {
  HWND box = run.WaitForDialog(WarningCaption, true);
  if (!box) return;
  std::string shown = ItemText(box, IdMessageText);
  Check(shown == text, "the warning reads %s (expected %s)", Hex(shown).c_str(), Hex(text).c_str());
  HWND dialog = FindDialog(run.process.dwProcessId, WindowCaption);
  Check(dialog && GetWindow(box, GW_OWNER) == dialog, "the warning is owned by the window");
  Check(dialog && !IsWindowVisible(dialog), "the window stays hidden behind the warning");
  POINT centred = CentredPosition(dialog), shownAt = TopLeft(dialog);
  Check(shownAt.x == centred.x && shownAt.y == centred.y,
        "the window stands centred at (%ld, %ld) (expected (%ld, %ld))", shownAt.x, shownAt.y,
        centred.x, centred.y);
  SaveScreenshot(box, screenshot);
  Click(box, IDOK, "OK");
  run.CheckEndsWithCodeZero();
  CheckStoredPosition(centred, "after the warning");
}

void NoDrive(bool standIn) {
  UseDriver(standIn);
  DeleteFileA(SettingsPath().c_str());
  for (const char* name : {"no-drive-first", "no-drive-second"}) {
    Run run(name, "none", LongPlayMs);
    CheckRefusal(run, NoDeviceText, "warning-no-drive.bmp");
  }
}

// Play, Next, Previous, Stop and the bounds, with plays that never end by
// themselves; then the window is moved and closed while it plays.
void Transport() {
  DeleteFileA(SettingsPath().c_str());
  Run run("transport", DiscOfThree, LongPlayMs);
  HWND dialog = run.WaitForDialog(WindowCaption, true);
  if (!dialog) return;
  POINT start = TopLeft(dialog);
  Check(start.x == 100 && start.y == 100, "with nothing stored the window opens at (%ld, %ld)",
        start.x, start.y);
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, false, "at start");

  Click(dialog, IDC_PLAY, "Play");
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, true, "after Play");
  HWND slider = GetDlgItem(dialog, IDC_SLIDER);
  Check(WaitUntil([&] { return Ask(slider, TBM_GETPOS) >= 2; }, 5000),
        "the slider advances with the seconds while playing");
  SaveScreenshot(dialog, "window.bmp");

  Click(dialog, IDC_NEXT, "Next");
  CheckDisplay(dialog, "2 / 3", "03 : 07", 187, true, "after Next while playing");
  Click(dialog, IDC_PREV, "Previous");
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, true, "after Previous while playing");
  Click(dialog, IDC_PREV, "Previous");
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, true, "after Previous on track 1");
  Click(dialog, IDC_STOP, "Stop");
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, false, "after Stop");
  Click(dialog, IDC_NEXT, "Next");
  CheckDisplay(dialog, "2 / 3", "03 : 07", 187, false, "after Next while idle");
  Click(dialog, IDC_NEXT, "Next");
  CheckDisplay(dialog, "3 / 3", "00 : 42", 42, false, "after Next to the last track");
  Click(dialog, IDC_NEXT, "Next");
  CheckDisplay(dialog, "3 / 3", "00 : 42", 42, false, "after Next on the last track");
  Click(dialog, IDC_PLAY, "Play");
  CheckDisplay(dialog, "3 / 3", "00 : 42", 42, true, "after Play on the last track");
  Click(dialog, IDC_PAGE, "the page button");
  CheckDisplay(dialog, "3 / 3", "00 : 42", 42, true, "after the page button");

  // Partly off the top of the screen, as a person may drag it.
  SetWindowPos(dialog, NULL, 37, -5, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  POINT moved = TopLeft(dialog);
  Check(moved.x == 37 && moved.y == -5, "the window moves to (%ld, %ld)", moved.x, moved.y);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  run.CheckEndsWithCodeZero();
  CheckStoredPosition(moved, "after closing while playing");
}

// Plays that end by themselves: the player goes on to the next track and
// stops after the last. Then the window is minimised and closed.
void AutoAdvance() {
  Run run("auto-advance", DiscOfThree, ShortPlayMs);
  HWND dialog = run.WaitForDialog(WindowCaption, true);
  if (!dialog) return;
  POINT start = TopLeft(dialog);
  Check(start.x == 37 && start.y == -5, "the window opens where it was closed: (%ld, %ld)", start.x,
        start.y);
  CheckDisplay(dialog, "1 / 3", "04 : 35", 275, false, "at start");

  Click(dialog, IDC_PLAY, "Play");
  bool sawSecond = false;
  bool ended = WaitUntil(
      [&] {
        std::string track = ItemText(dialog, IDC_TRACK);
        sawSecond = sawSecond || track == "2 / 3";
        return track == "3 / 3" && Enabled(dialog, IDC_PLAY);
      },
      6 * ShortPlayMs + 5000);
  Check(ended && sawSecond, "the player goes through track 2 to the end of track 3");
  CheckDisplay(dialog, "3 / 3", "00 : 42", 42, false, "at the end of the disc");

  PostMessageA(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Check(WaitUntil([&] { return IsIconic(dialog) != 0; }, 5000), "the window minimises");
  POINT minimised = TopLeft(dialog);
  printf("     minimised, the window reports (%ld, %ld)\n", minimised.x, minimised.y);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  run.CheckEndsWithCodeZero();
  CheckStoredPosition(start, "after closing while minimised");
}

void RefusedDisc() {
  Run run("refused", DataFirstDisc, LongPlayMs);
  CheckRefusal(run, NoAudioText, "warning-refused.bmp");
}

// Wine's own "cdaudio" driver over the simulated drive, whose disc the
// calling script chose: two tracks, 00 : 06 and 00 : 04. The driver never
// says when a play ends; the player must move on by itself all the same.
void WineDriverDisc() {
  UseDriver(false);
  DeleteFileA(SettingsPath().c_str());
  Run run("wine-driver", "", LongPlayMs);
  HWND dialog = run.WaitForDialog(WindowCaption, true);
  if (!dialog) return;
  CheckDisplay(dialog, "1 / 2", "00 : 06", 6, false, "at start");
  Click(dialog, IDC_PLAY, "Play");
  DWORD played = GetTickCount();
  CheckDisplay(dialog, "1 / 2", "00 : 06", 6, true, "after Play");
  bool movedOn = WaitUntil([&] { return ItemText(dialog, IDC_TRACK) == "2 / 2"; }, 20000);
  Check(movedOn, "the player moves on to track 2 by itself (after %lu ms)",
        GetTickCount() - played);
  if (!movedOn) return;
  CheckDisplay(dialog, "2 / 2", "00 : 04", 4, true, "on track 2");
  SaveScreenshot(dialog, "window-track-2.bmp");
  bool ended = WaitUntil([&] { return Enabled(dialog, IDC_PLAY); }, 20000);
  Check(ended, "the player stops after the last track (%lu ms after Play)",
        GetTickCount() - played);
  CheckDisplay(dialog, "2 / 2", "00 : 04", 4, false, "after the last track");
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  run.CheckEndsWithCodeZero();
}

// Wine's own driver on a drive whose disc does not begin with audio.
void WineDriverRefused(const std::string& name) {
  UseDriver(false);
  Run run(name.c_str(), "", LongPlayMs);
  CheckRefusal(run, NoAudioText, ("warning-" + name + ".bmp").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 4) {
    fprintf(stderr, "usage: drive-korvane SCENARIO KORVANE_EXE OUTPUT_DIR\n");
    return 2;
  }
  std::string scenario = argv[1];
  korvaneExe = argv[2];
  outputDir = argv[3];
  if (scenario == "no-drive" || scenario == "no-drive-stand-in") {
    NoDrive(scenario == "no-drive-stand-in");
  } else if (scenario == "disc") {
    UseDriver(true);
    Transport();
    AutoAdvance();
    RefusedDisc();
  } else if (scenario == "wine-driver-disc") {
    WineDriverDisc();
  } else if (scenario == "wine-driver-empty" || scenario == "wine-driver-data-first") {
    WineDriverRefused(scenario);
  } else {
    fprintf(stderr, "drive-korvane: unknown scenario %s\n", scenario.c_str());
    return 2;
  }
  printf("%s: %d failed\n", scenario.c_str(), failures);
  return failures ? 1 : 0;
}
