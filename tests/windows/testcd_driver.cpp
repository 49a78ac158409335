// SPDX-License-Identifier: GPL-3.0-or-later
// testcd.dll: an MCI driver for the device type "cdaudio" that stands in for
// a CD drive in the Wine scenarios. It answers like a drive holding the disc
// described by the environment, completes a play after a fixed time with the
// notifications a real drive sends, and writes every request it receives to
// a log, one line each, for the scenarios to compare.
//
// Environment (read when the device is opened):
//   TESTCD_DISC     the disc, one word per track: "A" (audio) or "D" (data)
//                   and its length as M:SS.FF, e.g. "A4:35.20 A3:07.00";
//                   "none" makes the open fail, as with no drive at all.
//   TESTCD_PLAY_MS  how long any play takes to complete, in milliseconds.
//   TESTCD_LOG      the log file (a Windows path); appended to.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
// clang-format on

// Declared by Wine's mmddk.h and exported by winmm, missing from mingw's.
extern "C" BOOL WINAPI mciDriverNotify(HANDLE callback, MCIDEVICEID device, UINT status);

namespace {

const int MaxTracks = 99;

struct Track {
  BOOL audio;
  DWORD msf;  // length: minutes in byte 0, seconds in byte 1, frames in byte 2
};

struct Disc {
  BOOL present;
  int count;
  Track tracks[MaxTracks];
};

// One open device. A play in progress is `playing`, due to complete at
// `deadline`; the worker thread completes it unless a request ends it first.
struct Device {
  MCIDEVICEID id;
  Disc disc;
  DWORD timeFormat;
  DWORD playMs;
  BOOL playing;
  HWND callback;  // to notify when the play ends; NULL when not asked
  DWORD deadline;
  BOOL closing;
  HANDLE wake;
  HANDLE worker;
};

Device device;
CRITICAL_SECTION lock;  // guards `device` between the caller and the worker
char logPath[MAX_PATH];

// Appends one line to the log. Opened per line, so a crash keeps the lines.
void Log(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  int length = wvsprintfA(line, format, args);
  va_end(args);
  line[length++] = '\r';
  line[length++] = '\n';
  if (!logPath[0]) return;
  EnterCriticalSection(&lock);
  HANDLE file = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
  }
  LeaveCriticalSection(&lock);
}

int ParseNumber(const char*& text) {
  int value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + (*text++ - '0');
  return value;
}

// "A4:35.20 D1:00.00 ..." into tracks; FALSE when the text is not of that form.
BOOL ParseDisc(const char* text, Disc* disc) {
  disc->count = 0;
  disc->present = lstrcmpA(text, "none") != 0;
  if (!disc->present) return TRUE;
  while (*text) {
    if (*text == ' ') {
      text++;
      continue;
    }
    if ((*text != 'A' && *text != 'D') || disc->count == MaxTracks) return FALSE;
    Track& track = disc->tracks[disc->count++];
    track.audio = *text++ == 'A';
    int minutes = ParseNumber(text);
    if (*text++ != ':') return FALSE;
    int seconds = ParseNumber(text);
    if (*text++ != '.') return FALSE;
    int frames = ParseNumber(text);
    if (seconds > 59 || frames > 74 || minutes > 255) return FALSE;
    track.msf = MCI_MAKE_MSF(minutes, seconds, frames);
  }
  return disc->count > 0;
}

DWORD ReadNumberVariable(const char* name, DWORD fallback) {
  char text[32];
  DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return fallback;
  const char* cursor = text;
  return (DWORD)ParseNumber(cursor);
}

// One request as the log shows it: the command, its flags and the fields of
// its record that the flags select, then what the driver answered.
struct Request {
  char text[400];
  char notice[64];  // a notification the request caused, logged after it
  void Append(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int used = lstrlenA(text);
    char part[200];
    wvsprintfA(part, format, args);
    va_end(args);
    lstrcpynA(text + used, part, (int)sizeof text - used);
  }
};

// Ends the pending play, if there is one, telling its window how it ended.
// Called with `lock` held, by a request (logged after it) or by the worker.
void EndPlay(UINT status, const char* why, Request* request) {
  if (!device.playing) return;
  device.playing = FALSE;
  if (!device.callback) return;
  if (request)
    wsprintfA(request->notice, "notify  %s", why);
  else
    Log("notify  %s", why);
  mciDriverNotify(device.callback, device.id, status);
}

DWORD WINAPI CompletePlays(void*) {
  EnterCriticalSection(&lock);
  while (!device.closing) {
    DWORD wait = INFINITE;
    if (device.playing) {
      LONG remaining = (LONG)(device.deadline - GetTickCount());
      if (remaining <= 0) {
        EndPlay(MCI_NOTIFY_SUCCESSFUL, "successful", NULL);
        continue;
      }
      wait = (DWORD)remaining;
    }
    LeaveCriticalSection(&lock);
    WaitForSingleObject(device.wake, wait);
    EnterCriticalSection(&lock);
  }
  LeaveCriticalSection(&lock);
  return 0;
}

// The window's class and caption, to show in the log where a play reports.
void DescribeWindow(HWND window, char* text, int size) {
  if (!window || !IsWindow(window)) {
    lstrcpynA(text, window ? "not a window" : "none", size);
    return;
  }
  char className[64], caption[64];
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  wsprintfA(text, "%s \"%s\"", className, caption);
}

// Track numbers in requests count from 1.
const Track* FindTrack(DWORD number) {
  if (number < 1 || (int)number > device.disc.count) return NULL;
  return &device.disc.tracks[number - 1];
}

DWORD Open(Request& request, DWORD flags, MCI_OPEN_PARMSW* parms) {
  request.Append("open    0x%04X flags=0x%08lX", MCI_OPEN_DRIVER, flags);
  if (parms && (flags & MCI_OPEN_TYPE) && !(flags & MCI_OPEN_TYPE_ID) && parms->lpstrDeviceType) {
    char type[64];
    WideCharToMultiByte(CP_ACP, 0, parms->lpstrDeviceType, -1, type, sizeof type, NULL, NULL);
    request.Append(" type=%s", type);
  }
  return 0;
}

DWORD Status(Request& request, DWORD flags, MCI_STATUS_PARMS* parms) {
  request.Append("status  0x%04X flags=0x%08lX", MCI_STATUS, flags);
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_STATUS_ITEM)) return MCIERR_MISSING_PARAMETER;
  request.Append(" item=0x%04lX", parms->dwItem);
  const Track* asked = NULL;
  if (flags & MCI_TRACK) {
    request.Append(" track=%lu", parms->dwTrack);
    asked = FindTrack(parms->dwTrack);
    if (!asked) return MCIERR_OUTOFRANGE;
  }
  switch (parms->dwItem) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
      if (asked) return MCIERR_FLAGS_NOT_COMPATIBLE;
      parms->dwReturn = (DWORD)device.disc.count;
      break;
    case MCI_CDA_STATUS_TYPE_TRACK:
      if (!asked) return MCIERR_MISSING_PARAMETER;
      parms->dwReturn = asked->audio ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
      break;
    case MCI_STATUS_LENGTH:
      // A track's length is given in MSF whatever the time format.
      if (!asked) return MCIERR_UNSUPPORTED_FUNCTION;
      parms->dwReturn = asked->msf;
      break;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
  request.Append(" return=0x%08lX", (DWORD)parms->dwReturn);
  return 0;
}

DWORD Set(Request& request, DWORD flags, MCI_SET_PARMS* parms) {
  request.Append("set     0x%04X flags=0x%08lX", MCI_SET, flags);
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (!(flags & MCI_SET_TIME_FORMAT)) return MCIERR_UNSUPPORTED_FUNCTION;
  request.Append(" timeformat=%lu", parms->dwTimeFormat);
  if (parms->dwTimeFormat != MCI_FORMAT_TMSF && parms->dwTimeFormat != MCI_FORMAT_MSF)
    return MCIERR_BAD_TIME_FORMAT;
  device.timeFormat = parms->dwTimeFormat;
  return 0;
}

// Plays from the start of one track to the start of another, or to the end
// of the disc; only whole tracks in TMSF are understood.
DWORD Play(Request& request, DWORD flags, MCI_PLAY_PARMS* parms) {
  request.Append("play    0x%04X flags=0x%08lX", MCI_PLAY, flags);
  if (!parms) return MCIERR_NULL_PARAMETER_BLOCK;
  if (flags & MCI_FROM) request.Append(" from=0x%08lX", parms->dwFrom);
  if (flags & MCI_TO) request.Append(" to=0x%08lX", parms->dwTo);
  HWND callback = (flags & MCI_NOTIFY) ? (HWND)parms->dwCallback : NULL;
  if (callback) {
    char window[160];
    DescribeWindow(callback, window, sizeof window);
    request.Append(" callback=%s", window);
  }
  if (device.timeFormat != MCI_FORMAT_TMSF) return MCIERR_BAD_TIME_FORMAT;
  // Without MCI_TO the play runs to the end of the disc.
  DWORD from = (flags & MCI_FROM) ? parms->dwFrom : 1;
  DWORD to = (flags & MCI_TO) ? parms->dwTo : 0;
  if ((from & 0xFFFFFF00) != 0 || (to & 0xFFFFFF00) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if (!FindTrack(from) || ((flags & MCI_TO) && (!FindTrack(to) || to <= from)))
    return MCIERR_OUTOFRANGE;
  if (!FindTrack(from)->audio) return MCIERR_UNSUPPORTED_FUNCTION;
  EnterCriticalSection(&lock);
  EndPlay(MCI_NOTIFY_SUPERSEDED, "superseded", &request);
  device.playing = TRUE;
  device.callback = callback;
  device.deadline = GetTickCount() + device.playMs;
  SetEvent(device.wake);
  LeaveCriticalSection(&lock);
  return 0;
}

DWORD Stop(Request& request, DWORD flags) {
  request.Append("stop    0x%04X flags=0x%08lX", MCI_STOP, flags);
  EnterCriticalSection(&lock);
  EndPlay(MCI_NOTIFY_ABORTED, "aborted", &request);
  LeaveCriticalSection(&lock);
  return 0;
}

DWORD Close(Request& request, DWORD flags) {
  request.Append("close   0x%04X flags=0x%08lX", MCI_CLOSE_DRIVER, flags);
  EnterCriticalSection(&lock);
  EndPlay(MCI_NOTIFY_ABORTED, "aborted", &request);
  device.closing = TRUE;
  SetEvent(device.wake);
  LeaveCriticalSection(&lock);
  WaitForSingleObject(device.worker, INFINITE);
  CloseHandle(device.worker);
  CloseHandle(device.wake);
  device.worker = device.wake = NULL;
  return 0;
}

// DRV_OPEN: a new device for "cdaudio", with the disc of the environment.
LRESULT OpenDevice(MCI_OPEN_DRIVER_PARMS* parms) {
  if (!parms) return 1;  // opened for configuration, not as an MCI device
  GetEnvironmentVariableA("TESTCD_LOG", logPath, sizeof logPath);
  char text[1024] = "";
  GetEnvironmentVariableA("TESTCD_DISC", text, sizeof text);
  ZeroMemory(&device, sizeof device);
  if (!ParseDisc(text, &device.disc)) {
    Log("driver  cannot read TESTCD_DISC \"%s\"", text);
    return 0;
  }
  if (!device.disc.present) {
    Log("driver  no drive");
    return 0;
  }
  device.id = parms->wDeviceID;
  device.timeFormat = MCI_FORMAT_MSF;
  device.playMs = ReadNumberVariable("TESTCD_PLAY_MS", 2000);
  device.wake = CreateEventA(NULL, FALSE, FALSE, NULL);
  device.worker = CreateThread(NULL, 0, CompletePlays, NULL, 0, NULL);
  parms->wType = MCI_DEVTYPE_CD_AUDIO;
  parms->wCustomCommandTable = MCI_NO_COMMAND_TABLE;
  return 1;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  switch (message) {
    case DRV_LOAD:
      InitializeCriticalSection(&lock);
      return 1;
    case DRV_FREE:
      DeleteCriticalSection(&lock);
      return 1;
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
      return 1;
    case DRV_OPEN:
      return OpenDevice((MCI_OPEN_DRIVER_PARMS*)param2);
    case DRV_QUERYCONFIGURE:
      return 0;
  }
  if (message < DRV_MCI_FIRST) return DefDriverProc(id, driver, message, param1, param2);

  DWORD flags = (DWORD)param1;
  Request request = {};
  DWORD result;
  switch (message) {
    case MCI_OPEN_DRIVER:
      result = Open(request, flags, (MCI_OPEN_PARMSW*)param2);
      break;
    case MCI_CLOSE_DRIVER:
      result = Close(request, flags);
      break;
    case MCI_STATUS:
      result = Status(request, flags, (MCI_STATUS_PARMS*)param2);
      break;
    case MCI_SET:
      result = Set(request, flags, (MCI_SET_PARMS*)param2);
      break;
    case MCI_PLAY:
      result = Play(request, flags, (MCI_PLAY_PARMS*)param2);
      break;
    case MCI_STOP:
      result = Stop(request, flags);
      break;
    default:
      request.Append("request 0x%04X flags=0x%08lX", message, flags);
      result = MCIERR_UNRECOGNIZED_COMMAND;
      break;
  }
  Log("%s -> %lu", request.text, result);
  if (request.notice[0]) Log("%s", request.notice);
  // A request other than PLAY that asks to be told reports success at once;
  // a play reports when it ends.
  MCI_GENERIC_PARMS* generic = (MCI_GENERIC_PARMS*)param2;
  if (result == 0 && message != MCI_PLAY && (flags & MCI_NOTIFY) && generic)
    mciDriverNotify((HWND)generic->dwCallback, device.id, MCI_NOTIFY_SUCCESSFUL);
  return result;
}
