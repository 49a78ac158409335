// SPDX-License-Identifier: GPL-3.0-or-later
// The recording platform's state and its implementation of the platform
// operations. Everything runs on the test's thread.
#include "platform/recording/recording.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>

namespace recording {
namespace {

struct Posted {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct Platform {
  Disc disc;
  std::vector<std::string> calls;
  std::vector<Request> requests;
  std::map<int, Control> controls;
  std::deque<Posted> posted;
  std::map<std::string, std::string> profile;
  DLGPROC proc = nullptr;
  std::function<void()> script;
  bool dialogExists = false;
  bool ended = false;
  INT_PTR result = 0;
  bool timer = false;
  UINT_PTR timerId = 0;
  bool deviceOpen = false;
  DWORD_PTR pendingCallback = 0;
  bool pending = false;
  bool sounding = false;  // playing a range
  DWORD playFrom = 0;     // TMSF
  DWORD playTo = 0;       // TMSF; 0 for the end of the disc
  DWORD position = 0;     // TMSF
  RECT rect{};
  bool iconic = false;
  RECT restored{};
};

Platform& P() {
  static Platform platform;
  return platform;
}

HWND const DialogHandle = reinterpret_cast<HWND>(0x1000);
const uintptr_t ControlBase = 0x100000;

void Log(const std::string& line) { P().calls.push_back(line); }

std::string Hex(unsigned long value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*lX", digits, value);
  return text;
}

std::string Name(HWND window) {
  if (window == DialogHandle) return "dialog";
  uintptr_t value = reinterpret_cast<uintptr_t>(window);
  if (value > ControlBase && value < ControlBase + 0x10000)
    return std::to_string(value - ControlBase);
  return "hwnd " + Hex(value, 1);
}

std::string MessageName(UINT message) {
  switch (message) {
    case WM_CLOSE:
      return "WM_CLOSE";
    case WM_SETICON:
      return "WM_SETICON";
    case WM_INITDIALOG:
      return "WM_INITDIALOG";
    case WM_COMMAND:
      return "WM_COMMAND";
    case WM_TIMER:
      return "WM_TIMER";
    case MM_MCINOTIFY:
      return "MM_MCINOTIFY";
    case BM_SETIMAGE:
      return "BM_SETIMAGE";
    case TBM_SETPOS:
      return "TBM_SETPOS";
    case TBM_SETRANGEMIN:
      return "TBM_SETRANGEMIN";
    case TBM_SETRANGEMAX:
      return "TBM_SETRANGEMAX";
    case TBM_GETPOS:
      return "TBM_GETPOS";
    default:
      return Hex(message, 4);
  }
}

std::string CommandName(UINT command) {
  switch (command) {
    case MCI_OPEN:
      return "MCI_OPEN";
    case MCI_CLOSE:
      return "MCI_CLOSE";
    case MCI_PLAY:
      return "MCI_PLAY";
    case MCI_STOP:
      return "MCI_STOP";
    case MCI_SET:
      return "MCI_SET";
    case MCI_STATUS:
      return "MCI_STATUS";
    default:
      return Hex(command, 4);
  }
}

// The picture handles LoadImageA gives out say what they are.
std::string ImageName(LPARAM image) {
  if (image >= 0x30000 && image < 0x40000) return "icon " + std::to_string(image - 0x30000);
  if (image >= 0x20000 && image < 0x30000) return "bitmap " + std::to_string(image - 0x20000);
  return std::to_string(image);
}

int ControlId(HWND window) {
  uintptr_t value = reinterpret_cast<uintptr_t>(window);
  if (value <= ControlBase || value >= ControlBase + 0x10000) return -1;
  return static_cast<int>(value - ControlBase);
}

INT_PTR Deliver(UINT message, WPARAM wParam, LPARAM lParam, const std::string& what) {
  Log("DialogProc(" + what + ")");
  return P().proc(DialogHandle, message, wParam, lParam);
}

LRESULT ControlMessage(Control& control, UINT message, LPARAM lParam) {
  switch (message) {
    case TBM_SETRANGEMAX:
      control.SetMax(static_cast<LONG>(lParam));
      return 0;
    case TBM_SETRANGEMIN:
      control.SetMin(static_cast<LONG>(lParam));
      return 0;
    case TBM_SETPOS:
      control.SetPos(static_cast<LONG>(lParam));
      return 0;
    case TBM_GETPOS:
      return control.pos;
    case BM_SETIMAGE: {
      LPARAM old = control.image;
      control.image = lParam;
      return old;
    }
    default:
      return 0;
  }
}

void Notify(DWORD_PTR callback, WPARAM code) {
  PostMessageA(reinterpret_cast<HWND>(callback), MM_MCINOTIFY, code, P().disc.deviceId);
}

MCIERROR Status(MCI_STATUS_PARMS* status, DWORD flags) {
  const Disc& disc = P().disc;
  if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  bool trackGiven = (flags & MCI_TRACK) != 0;
  DWORD track = status->dwTrack;
  DWORD tracks = static_cast<DWORD>(std::max(disc.lengths.size(), disc.types.size()));
  if (trackGiven && (track < 1 || track > tracks)) return MCIERR_OUTOFRANGE;
  switch (status->dwItem) {
    case MCI_CDA_STATUS_TYPE_TRACK:
      if (!trackGiven) return MCIERR_MISSING_PARAMETER;
      status->dwReturn = track <= disc.types.size() ? disc.types[track - 1] : MCI_CDA_TRACK_AUDIO;
      return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS:
      status->dwReturn = disc.trackCount;
      return 0;
    case MCI_STATUS_LENGTH:
      if (!trackGiven) return MCIERR_UNSUPPORTED_FUNCTION;
      status->dwReturn = track <= disc.lengths.size() ? disc.lengths[track - 1] : 0;
      return 0;
    case MCI_STATUS_MODE:
      status->dwReturn = P().sounding ? MCI_MODE_PLAY : disc.idleMode;
      return 0;
    case MCI_STATUS_POSITION:
      status->dwReturn = trackGiven ? track : P().position;
      return 0;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

// The record's fields that a request of its kind carries.
std::string Describe(const Request& request) {
  if (!request.hasRecord) return "no record";
  std::string text = request.callback ? "callback " + Name(reinterpret_cast<HWND>(request.callback))
                                      : "no callback";
  switch (request.command) {
    case MCI_OPEN:
      text += ", type " + request.deviceType;
      if (request.hasElement) text += ", element";
      if (request.hasAlias) text += ", alias";
      break;
    case MCI_STATUS:
      text += ", item " + Hex(request.item, 4) + ", track " + std::to_string(request.track);
      break;
    case MCI_SET:
      text += ", format " + std::to_string(request.timeFormat);
      break;
    case MCI_PLAY:
      text += ", from " + Hex(request.from, 8) + ", to " + Hex(request.to, 8);
      break;
  }
  return text;
}

}  // namespace

Disc AudioDisc(std::vector<DWORD> lengths) {
  Disc disc;
  disc.trackCount = static_cast<DWORD>(lengths.size());
  disc.lengths = std::move(lengths);
  return disc;
}

DWORD Msf(int minutes, int seconds, int frames) {
  return static_cast<DWORD>(minutes & 0xFF) | static_cast<DWORD>(seconds & 0xFF) << 8 |
         static_cast<DWORD>(frames & 0xFF) << 16;
}

void Reset(const Disc& disc, RECT windowRect) {
  P() = Platform{};
  P().disc = disc;
  P().rect = windowRect;
}

const std::vector<std::string>& Calls() { return P().calls; }

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& call : P().calls)
    if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
  return found;
}

void ClearCalls() {
  P().calls.clear();
  P().requests.clear();
}

const std::vector<Request>& Requests() { return P().requests; }
Disc& CurrentDisc() { return P().disc; }
HWND Dialog() { return DialogHandle; }
Control& ControlOf(int id) { return P().controls[id]; }
bool TimerRunning() { return P().timer; }
bool DialogEnded() { return P().ended; }
std::map<std::string, std::string>& Profile() { return P().profile; }

void SetIconic(bool iconic, RECT restored) {
  P().iconic = iconic;
  P().restored = restored;
}

void StartDialog(DLGPROC proc) {
  P().proc = proc;
  P().dialogExists = true;
  P().ended = false;
  Deliver(WM_INITDIALOG, 0, 0, "WM_INITDIALOG");
}

INT_PTR Click(int id) {
  if (!P().dialogExists || P().ended) return -1;
  auto found = P().controls.find(id);
  if (found != P().controls.end() && !found->second.enabled) return -1;
  WPARAM wParam = static_cast<WPARAM>(id) | static_cast<WPARAM>(BN_CLICKED) << 16;
  return Deliver(WM_COMMAND, wParam, static_cast<LPARAM>(ControlBase + id),
                 "WM_COMMAND, " + std::to_string(id));
}

INT_PTR Tick() {
  if (!P().timer || P().ended) return -1;
  return Deliver(WM_TIMER, P().timerId, 0, "WM_TIMER");
}

INT_PTR CloseButton() {
  if (!P().dialogExists || P().ended) return -1;
  return Deliver(WM_CLOSE, 0, 0, "WM_CLOSE");
}

void FinishPlay() {
  Platform& p = P();
  if (!p.sounding) return;
  p.sounding = false;
  // The last track played: the one before the range's end, or the disc's
  // last; the head stands at its end, or short of it.
  DWORD tracks = static_cast<DWORD>(p.disc.lengths.size());
  DWORD last = p.playTo ? (p.playTo & 0xFF) - 1 : tracks;
  if (p.playTo && p.disc.endShortFrames == 0) {
    p.position = p.playTo;
  } else {
    DWORD length = last >= 1 && last <= tracks ? p.disc.lengths[last - 1] : 0;
    int frames = static_cast<int>((length & 0xFF) * 60 * 75 + (length >> 8 & 0xFF) * 75 +
                                  (length >> 16 & 0xFF)) -
                 p.disc.endShortFrames;
    frames = std::max(frames, 0);
    p.position = last | static_cast<DWORD>(frames / 75 / 60) << 8 |
                 static_cast<DWORD>(frames / 75 % 60) << 16 | static_cast<DWORD>(frames % 75) << 24;
  }
  if (!p.disc.knowsEndPosition) p.position = 0;
  if (p.pending && p.disc.notifiesEnd) {
    p.pending = false;
    Notify(p.pendingCallback, MCI_NOTIFY_SUCCESSFUL);
  }
}

int DeliverPosted() {
  int count = 0;
  while (!P().posted.empty()) {
    Posted message = P().posted.front();
    P().posted.pop_front();
    if (message.window != DialogHandle || P().ended) continue;
    Deliver(message.message, message.wParam, message.lParam,
            MessageName(message.message) + ", " + std::to_string(message.wParam));
    count++;
  }
  return count;
}

void SetDialogScript(std::function<void()> script) { P().script = std::move(script); }

}  // namespace recording

using namespace recording;

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  Log(std::string("GetModuleHandleA(") + (name ? name : "NULL") + ")");
  return reinterpret_cast<HMODULE>(0x400000);
}

void WINAPI ExitProcess(UINT exitCode) {
  Log("ExitProcess(" + std::to_string(exitCode) + ")");
  throw ProcessExit{exitCode};
}

void WINAPI InitCommonControls(void) { Log("InitCommonControls()"); }

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC proc,
                               LPARAM initParam) {
  Log("DialogBoxParamA(" +
      (IS_INTRESOURCE(templateName) ? std::to_string(reinterpret_cast<uintptr_t>(templateName))
                                    : std::string(templateName)) +
      ", " + (owner ? Name(owner) : "NULL") + ", " + std::to_string(initParam) + ")");
  StartDialog(proc);
  if (!P().ended && P().script) P().script();
  return P().result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  Log("EndDialog(" + Name(dialog) + ", " + std::to_string(result) + ")");
  P().ended = true;
  P().result = result;
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND, int id) {
  P().controls[id];
  return reinterpret_cast<HWND>(ControlBase + id);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  Log("SetDlgItemTextA(" + Name(dialog) + ", " + std::to_string(id) + ", " + text + ")");
  P().controls[id].text = text;
  return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND, int id, LPSTR text, int size) {
  if (size <= 0) return 0;
  std::snprintf(text, static_cast<size_t>(size), "%s", P().controls[id].text.c_str());
  return static_cast<UINT>(std::string(text).size());
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  Log("EnableWindow(" + Name(window) + ", " + std::to_string(enable) + ")");
  int id = ControlId(window);
  if (id < 0) return FALSE;
  bool wasDisabled = !P().controls[id].enabled;
  P().controls[id].enabled = enable != 0;
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
  int id = ControlId(window);
  return id >= 0 && P().controls[id].enabled;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::string last =
      message == WM_SETICON || message == BM_SETIMAGE ? ImageName(lParam) : std::to_string(lParam);
  Log("SendMessageA(" + Name(window) + ", " + MessageName(message) + ", " + std::to_string(wParam) +
      ", " + last + ")");
  if (window == DialogHandle) {
    if (message == WM_SETICON) return 0;
    return P().proc(window, message, wParam, lParam);
  }
  int id = ControlId(window);
  if (id < 0) return 0;
  return ControlMessage(P().controls[id], message, lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log("PostMessageA(" + Name(window) + ", " + MessageName(message) + ", " + std::to_string(wParam) +
      ", " + std::to_string(lParam) + ")");
  P().posted.push_back(Posted{window, message, wParam, lParam});
  return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  Log("SetTimer(" + Name(window) + ", " + std::to_string(id) + ", " + std::to_string(elapse) +
      ", " + (proc ? "proc" : "NULL") + ")");
  P().timer = true;
  P().timerId = id;
  return id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  Log("KillTimer(" + Name(window) + ", " + std::to_string(id) + ")");
  bool was = P().timer;
  P().timer = false;
  return was;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  Log("MessageBoxA(" + (owner ? Name(owner) : "NULL") + ", " + text + ", " + caption + ", " +
      Hex(type, 2) + ")");
  return IDOK;
}

HANDLE WINAPI LoadImageA(HINSTANCE, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  Log("LoadImageA(" + std::to_string(id) + ", " +
      (type == IMAGE_ICON ? "IMAGE_ICON" : "IMAGE_BITMAP") + ", " + std::to_string(cx) + ", " +
      std::to_string(cy) + ", " + std::to_string(flags) + ")");
  return reinterpret_cast<HANDLE>((type == IMAGE_ICON ? 0x30000 : 0x20000) + id);
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  Log("GetWindowRect(" + Name(window) + ")");
  *rect = P().iconic ? RECT{-32000, -32000, -31840, -31972} : P().rect;
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Log("SetWindowPos(" + Name(window) + ", " + (insertAfter ? Name(insertAfter) : "NULL") + ", " +
      std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(cx) + ", " +
      std::to_string(cy) + ", " + Hex(flags, 4) + ")");
  RECT& rect = P().rect;
  LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (!(flags & SWP_NOMOVE)) rect.left = x, rect.top = y;
  if (!(flags & SWP_NOSIZE)) width = cx, height = cy;
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return TRUE;
}

BOOL WINAPI IsIconic(HWND) { return P().iconic; }

BOOL WINAPI GetWindowPlacement(HWND, WINDOWPLACEMENT* placement) {
  if (placement->length != sizeof *placement) return FALSE;
  placement->showCmd = P().iconic ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  placement->rcNormalPosition = P().iconic ? P().restored : P().rect;
  return TRUE;
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, LPVOID value, UINT) {
  if (action != SPI_GETWORKAREA) return FALSE;
  *static_cast<RECT*>(value) = RECT{0, 0, 1024, 768};
  return TRUE;
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback, LPCSTR file) {
  Log(std::string("GetPrivateProfileIntA(") + section + ", " + key + ", " +
      std::to_string(fallback) + ", " + file + ")");
  auto found = P().profile.find(std::string(section) + "/" + key);
  if (found == P().profile.end()) return static_cast<UINT>(fallback);
  return static_cast<UINT>(std::strtol(found->second.c_str(), nullptr, 10));
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
  Log(std::string("WritePrivateProfileStringA(") + section + ", " + key + ", " + value + ", " +
      file + ")");
  P().profile[std::string(section) + "/" + key] = value;
  return TRUE;
}

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags,
                                DWORD_PTR parms) {
  Platform& p = P();
  Request request{};
  request.device = device;
  request.command = command;
  request.flags = static_cast<DWORD>(flags);
  request.hasRecord = parms != 0;
  DWORD item = 0;
  if (parms) {
    request.callback = reinterpret_cast<MCI_GENERIC_PARMS*>(parms)->dwCallback;
    if (command == MCI_OPEN) {
      auto* open = reinterpret_cast<MCI_OPEN_PARMSA*>(parms);
      request.deviceType = open->lpstrDeviceType ? open->lpstrDeviceType : "";
      request.hasElement = open->lpstrElementName != nullptr;
      request.hasAlias = open->lpstrAlias != nullptr;
    } else if (command == MCI_STATUS) {
      auto* status = reinterpret_cast<MCI_STATUS_PARMS*>(parms);
      request.item = item = status->dwItem;
      request.track = status->dwTrack;
    } else if (command == MCI_SET) {
      request.timeFormat = reinterpret_cast<MCI_SET_PARMS*>(parms)->dwTimeFormat;
    } else if (command == MCI_PLAY) {
      auto* play = reinterpret_cast<MCI_PLAY_PARMS*>(parms);
      request.from = play->dwFrom;
      request.to = play->dwTo;
    }
  }
  p.requests.push_back(request);
  Log("mciSendCommandA(" + std::to_string(device) + ", " + CommandName(command) + ", " +
      Hex(static_cast<unsigned long>(flags), 4) + ", " + Describe(request) + ")");

  auto failure = p.disc.failures.find({command, item});
  if (failure != p.disc.failures.end()) return failure->second;

  if (command == MCI_OPEN) {
    if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
    if (p.disc.openResult) return p.disc.openResult;
    p.deviceOpen = true;
    reinterpret_cast<MCI_OPEN_PARMSA*>(parms)->wDeviceID = p.disc.deviceId;
    return 0;
  }
  if (!p.deviceOpen || device != p.disc.deviceId) return MCIERR_INVALID_DEVICE_ID;
  switch (command) {
    case MCI_STATUS:
      if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
      return Status(reinterpret_cast<MCI_STATUS_PARMS*>(parms), static_cast<DWORD>(flags));
    case MCI_SET:
      return parms ? 0 : MCIERR_NULL_PARAMETER_BLOCK;
    case MCI_PLAY:
      if (p.pending) Notify(p.pendingCallback, MCI_NOTIFY_SUPERSEDED);
      p.pending = (flags & MCI_NOTIFY) != 0;
      p.pendingCallback = request.callback;
      p.sounding = true;
      p.playFrom = p.position = (flags & MCI_FROM) ? request.from : p.position;
      p.playTo = (flags & MCI_TO) ? request.to : 0;
      return 0;
    case MCI_STOP:
    case MCI_CLOSE:
      if (p.pending) Notify(p.pendingCallback, MCI_NOTIFY_ABORTED);
      p.pending = false;
      p.sounding = false;
      if (command == MCI_CLOSE) p.deviceOpen = false;
      return 0;
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

}  // extern "C"
