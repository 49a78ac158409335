// SPDX-License-Identifier: GPL-3.0-or-later
// sd-bus, not GDBus: the connection is one descriptor with the events and
// the time-out it waits for, and sd_bus_process does what is due; that is
// all FLTK's loop needs to run it (Fl::add_fd, Fl::add_timeout), with no
// second main loop and no thread. libsystemd0 is already there beside the
// sound server's own library.
#include "platform/linux/mpris/service.h"

#include <FL/Fl.H>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/cdaudio/watch.h"
#include "platform/linux/mpris/model.h"
#include "platform/linux/titles/finder.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/message_loop.h"
#include "platform/platform.h"
#include "window/resource.h"

namespace mpris {

namespace {

constexpr char ObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char RootInterface[] = "org.mpris.MediaPlayer2";
constexpr char PlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char BusName[] = "org.mpris.MediaPlayer2.korvane";
// The installed menu entry, korvane.desktop, without its extension.
constexpr char DesktopEntry[] = "korvane";
constexpr char Identity[] = "Korvane";
// org.freedesktop.DBus.RequestName's answer when another process has the name.
constexpr uint32_t NameExists = 3;

// What the system has been seen to do through the platform: the device's
// requests (on the thread that sent them) and the seconds it sets on the
// slider (on the GUI thread).
class Observed : public cdaudio::Watcher {
 public:
  void DiscLoaded(const disc::Disc& disc) override {
    std::lock_guard<std::mutex> lock(mutex_);
    discLoaded_ = true;
    table_ = disc.table;
    text_ = disc.text;
  }

  // A play starts its track from the beginning.
  void Played(bool accepted) override {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = accepted;
    if (accepted) MoveTo(0);
  }

  void Stopped() override {
    std::lock_guard<std::mutex> lock(mutex_);
    playing_ = false;
  }

  void SetElapsed(long seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    MoveTo(seconds);
  }

  void Fill(Seen* seen) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen->playing = playing_;
    seen->discLoaded = discLoaded_;
    seen->table = table_;
    seen->text = text_;
    seen->elapsedSeconds = elapsed_;
  }

  // Whether the position has jumped since last asked, rather than counted
  // on by a second.
  bool TakeJump() {
    std::lock_guard<std::mutex> lock(mutex_);
    bool jumped = jumped_;
    jumped_ = false;
    return jumped;
  }

 private:
  void MoveTo(long seconds) {
    if (seconds != elapsed_ && seconds != elapsed_ + 1) jumped_ = true;
    elapsed_ = seconds;
  }

  std::mutex mutex_;
  bool playing_ = false;
  bool discLoaded_ = false;
  disc::TrackTable table_;
  disc::DiscText text_;
  long elapsed_ = 0;
  bool jumped_ = false;
};

Observed observed;

// The player's window: its one dialog, until it ends.
ui::Dialog* PlayerDialog() {
  for (ui::Dialog* dialog : ui::Dialog::Live())
    if (!dialog->Ended()) return dialog;
  return nullptr;
}

// A user could click it: on the screen, and no message box over it.
bool Usable(ui::Dialog* dialog) { return dialog && dialog->IsShown() && !Fl::modal(); }

bool ButtonEnabled(ui::Dialog* dialog, int id) {
  HWND button = GetDlgItem(dialog->Hwnd(), id);
  return button && IsWindowEnabled(button);
}

Seen Look() {
  Seen seen;
  observed.Fill(&seen);
  // Titles are looked for once the window is there, so that loading the
  // lookup's libraries never holds its first appearance.
  ui::Dialog* shown = PlayerDialog();
  if (seen.discLoaded && shown && shown->IsShown()) {
    titles::DiscSeen(seen.table, seen.text);
    seen.found = titles::Found();
  }
  ui::Dialog* dialog = PlayerDialog();
  if (!dialog) return seen;
  seen.windowThere = true;
  seen.windowUsable = Usable(dialog);
  char counter[64];
  GetDlgItemTextA(dialog->Hwnd(), IDC_TRACK, counter, sizeof counter);
  seen.counter = counter;
  seen.playEnabled = ButtonEnabled(dialog, IDC_PLAY);
  seen.stopEnabled = ButtonEnabled(dialog, IDC_STOP);
  seen.prevEnabled = ButtonEnabled(dialog, IDC_PREV);
  seen.nextEnabled = ButtonEnabled(dialog, IDC_NEXT);
  return seen;
}

// The system moves the slider to the elapsed seconds of the play.
void OnSent(HWND window, UINT message, WPARAM, LPARAM lParam) {
  if (message != TBM_SETPOS) return;
  ui::Dialog* dialog = PlayerDialog();
  if (dialog && GetDlgItem(dialog->Hwnd(), IDC_SLIDER) == window) observed.SetElapsed(lParam);
}

// A click on the button, delivered by the window's loop as the window gets
// its own: nothing when the button is disabled by then.
void Click(int id) {
  ui::Dialog* dialog = PlayerDialog();
  if (!Usable(dialog) || !ButtonEnabled(dialog, id)) return;
  PostMessageA(GetDlgItem(dialog->Hwnd(), id), BM_CLICK, 0, 0);
}

// ---- Methods ----------------------------------------------------------------

int Done(sd_bus_message* call) { return sd_bus_reply_method_return(call, ""); }

int OnRaise(sd_bus_message* call, void*, sd_bus_error*) {
  if (ui::Dialog* dialog = PlayerDialog()) dialog->Raise();
  return Done(call);
}

// As the close button: the window stops the disc, keeps its place and ends.
int OnQuit(sd_bus_message* call, void*, sd_bus_error*) {
  ui::Dialog* dialog = PlayerDialog();
  if (Usable(dialog)) PostMessageA(dialog->Hwnd(), WM_CLOSE, 0, 0);
  return Done(call);
}

int OnPlay(sd_bus_message* call, void*, sd_bus_error*) {
  Click(IDC_PLAY);
  return Done(call);
}

int OnStop(sd_bus_message* call, void*, sd_bus_error*) {
  Click(IDC_STOP);
  return Done(call);
}

// There is no pause: the nearest the window has is Stop, as the media
// keys' play/pause finds it.
int OnPause(sd_bus_message* call, void*, sd_bus_error*) {
  Click(IDC_STOP);
  return Done(call);
}

int OnPlayPause(sd_bus_message* call, void*, sd_bus_error*) {
  ui::Dialog* dialog = PlayerDialog();
  Click(dialog && ButtonEnabled(dialog, IDC_STOP) ? IDC_STOP : IDC_PLAY);
  return Done(call);
}

// At the last track Next does nothing, at the first Previous: no wrap.
int OnNext(sd_bus_message* call, void*, sd_bus_error*) {
  if (Publish(Look()).canGoNext) Click(IDC_NEXT);
  return Done(call);
}

int OnPrevious(sd_bus_message* call, void*, sd_bus_error*) {
  if (Publish(Look()).canGoPrevious) Click(IDC_PREV);
  return Done(call);
}

// CanSeek is false: Seek and SetPosition have no effect.
int OnSeek(sd_bus_message* call, void*, sd_bus_error*) { return Done(call); }

int OnOpenUri(sd_bus_message*, void*, sd_bus_error* error) {
  return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED,
                          "Korvane plays the disc it was started on and opens nothing else");
}

// ---- Properties ---------------------------------------------------------------

Published published;  // as last told on the bus

int AppendBool(sd_bus_message* reply, bool value) {
  return sd_bus_message_append(reply, "b", value ? 1 : 0);
}

template <typename Value>
int AppendEntry(sd_bus_message* reply, const char* key, const char* type, Value value) {
  int r;
  if ((r = sd_bus_message_open_container(reply, 'e', "sv")) < 0 ||
      (r = sd_bus_message_append(reply, "s", key)) < 0 ||
      (r = sd_bus_message_open_container(reply, 'v', type)) < 0 ||
      (r = sd_bus_message_append(reply, type, value)) < 0 ||
      (r = sd_bus_message_close_container(reply)) < 0)
    return r;
  return sd_bus_message_close_container(reply);
}

int AppendArtists(sd_bus_message* reply, const char* key, const std::vector<std::string>& artists) {
  std::vector<char*> list;
  for (const std::string& artist : artists) list.push_back(const_cast<char*>(artist.c_str()));
  list.push_back(nullptr);
  int r;
  if ((r = sd_bus_message_open_container(reply, 'e', "sv")) < 0 ||
      (r = sd_bus_message_append(reply, "s", key)) < 0 ||
      (r = sd_bus_message_open_container(reply, 'v', "as")) < 0 ||
      (r = sd_bus_message_append_strv(reply, list.data())) < 0 ||
      (r = sd_bus_message_close_container(reply)) < 0)
    return r;
  return sd_bus_message_close_container(reply);
}

// Empty while there is no current track.
int AppendMetadata(sd_bus_message* reply, const Metadata& metadata) {
  int r = sd_bus_message_open_container(reply, 'a', "{sv}");
  if (r < 0 || metadata.trackNumber == 0) return r < 0 ? r : sd_bus_message_close_container(reply);
  if ((r = AppendEntry(reply, "mpris:trackid", "o", metadata.trackId.c_str())) < 0 ||
      (r = AppendEntry(reply, "mpris:length", "x", metadata.lengthMicroseconds)) < 0 ||
      (r = AppendEntry(reply, "xesam:trackNumber", "i", metadata.trackNumber)) < 0 ||
      (r = AppendEntry(reply, "xesam:title", "s", metadata.title.c_str())) < 0)
    return r;
  if (!metadata.album.empty() &&
      (r = AppendEntry(reply, "xesam:album", "s", metadata.album.c_str())) < 0)
    return r;
  if (!metadata.artists.empty() && (r = AppendArtists(reply, "xesam:artist", metadata.artists)) < 0)
    return r;
  if (!metadata.albumArtist.empty() &&
      (r = AppendArtists(reply, "xesam:albumArtist", {metadata.albumArtist})) < 0)
    return r;
  if (metadata.discNumber > 0 &&
      (r = AppendEntry(reply, "xesam:discNumber", "i", metadata.discNumber)) < 0)
    return r;
  if (!metadata.artUrl.empty() &&
      (r = AppendEntry(reply, "mpris:artUrl", "s", metadata.artUrl.c_str())) < 0)
    return r;
  return sd_bus_message_close_container(reply);
}

// Every property of both interfaces, by its name. What changes is told as
// last published; Position, which is never told, is the seconds the
// system has counted of the play by now.
int GetProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                void*, sd_bus_error*) {
  const std::string name = property;
  if (name == "Metadata") return AppendMetadata(reply, published.metadata);
  if (name == "PlaybackStatus")
    return sd_bus_message_append(reply, "s", published.playing ? "Playing" : "Stopped");
  if (name == "Position")
    return sd_bus_message_append(reply, "x", Publish(Look()).positionMicroseconds);
  if (name == "Identity") return sd_bus_message_append(reply, "s", Identity);
  if (name == "DesktopEntry") return sd_bus_message_append(reply, "s", DesktopEntry);
  if (name == "SupportedUriSchemes" || name == "SupportedMimeTypes")
    return sd_bus_message_append(reply, "as", 0);
  if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate" || name == "Volume")
    return sd_bus_message_append(reply, "d", 1.0);
  if (name == "CanGoNext") return AppendBool(reply, published.canGoNext);
  if (name == "CanGoPrevious") return AppendBool(reply, published.canGoPrevious);
  if (name == "CanPlay" || name == "CanPause") return AppendBool(reply, published.canPlay);
  // HasTrackList and CanSeek are false.
  return AppendBool(reply, name == "CanQuit" || name == "CanRaise" || name == "CanControl");
}

constexpr uint64_t Unprivileged = SD_BUS_VTABLE_UNPRIVILEGED;
constexpr uint64_t Const = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr uint64_t Emits = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

const sd_bus_vtable RootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", OnRaise, Unprivileged),
    SD_BUS_METHOD("Quit", "", "", OnQuit, Unprivileged),
    SD_BUS_PROPERTY("CanQuit", "b", GetProperty, 0, Const),
    SD_BUS_PROPERTY("CanRaise", "b", GetProperty, 0, Const),
    SD_BUS_PROPERTY("HasTrackList", "b", GetProperty, 0, Const),
    SD_BUS_PROPERTY("Identity", "s", GetProperty, 0, Const),
    SD_BUS_PROPERTY("DesktopEntry", "s", GetProperty, 0, Const),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetProperty, 0, Const),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetProperty, 0, Const),
    SD_BUS_VTABLE_END,
};

// The window has no volume and no speed: Volume and Rate are read-only.
const sd_bus_vtable PlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", OnNext, Unprivileged),
    SD_BUS_METHOD("Previous", "", "", OnPrevious, Unprivileged),
    SD_BUS_METHOD("Pause", "", "", OnPause, Unprivileged),
    SD_BUS_METHOD("PlayPause", "", "", OnPlayPause, Unprivileged),
    SD_BUS_METHOD("Stop", "", "", OnStop, Unprivileged),
    SD_BUS_METHOD("Play", "", "", OnPlay, Unprivileged),
    SD_BUS_METHOD("Seek", "x", "", OnSeek, Unprivileged),
    SD_BUS_METHOD("SetPosition", "ox", "", OnSeek, Unprivileged),
    SD_BUS_METHOD("OpenUri", "s", "", OnOpenUri, Unprivileged),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("Rate", "d", GetProperty, 0, Const),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("Volume", "d", GetProperty, 0, Const),
    SD_BUS_PROPERTY("Position", "x", GetProperty, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", GetProperty, 0, Const),
    SD_BUS_PROPERTY("MaximumRate", "d", GetProperty, 0, Const),
    SD_BUS_PROPERTY("CanGoNext", "b", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("CanGoPrevious", "b", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("CanPlay", "b", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("CanPause", "b", GetProperty, 0, Emits),
    SD_BUS_PROPERTY("CanSeek", "b", GetProperty, 0, Const),
    SD_BUS_PROPERTY("CanControl", "b", GetProperty, 0, Const),
    SD_BUS_VTABLE_END,
};

// ---- The connection in the window's loop -------------------------------------

class Connection {
 public:
  // False, with nothing kept, when there is no session bus to join.
  bool Open() {
    if (sd_bus_open_user(&bus_) < 0) {
      bus_ = nullptr;
      return false;
    }
    if (sd_bus_add_object_vtable(bus_, nullptr, ObjectPath, RootInterface, RootTable, nullptr) <
            0 ||
        sd_bus_add_object_vtable(bus_, nullptr, ObjectPath, PlayerInterface, PlayerTable, nullptr) <
            0 ||
        sd_bus_request_name_async(bus_, nullptr, BusName, 0, OnNameAnswer, this) < 0 ||
        (fd_ = sd_bus_get_fd(bus_)) < 0) {
      bus_ = sd_bus_close_unref(bus_);
      return false;
    }
    Fl::add_fd(fd_, FL_READ, OnReady, this);
    Fl::add_check(OnLoopWaits, this);
    Rearm();
    return true;
  }

  // At exit the name goes with the connection. Nothing queued is waited
  // for: a bus that reads nothing must not hold the player's exit.
  ~Connection() {
    if (!bus_) return;
    cdaudio::Watch(nullptr);
    ui::WatchSent(nullptr);
    sd_bus_close_unref(bus_);
  }

 private:
  // Another player of ours has the name: this one takes its own, as the
  // interface asks of a second instance.
  static int OnNameAnswer(sd_bus_message* answer, void* self, sd_bus_error*) {
    uint32_t result = 0;
    if (sd_bus_message_is_method_error(answer, nullptr) ||
        sd_bus_message_read(answer, "u", &result) < 0 || result != NameExists)
      return 0;
    auto* connection = static_cast<Connection*>(self);
    std::string name = std::string(BusName) + ".instance" + std::to_string(getpid());
    sd_bus_request_name_async(connection->bus_, nullptr, name.c_str(), 0, nullptr, nullptr);
    return 0;
  }

  static void OnReady(int, void* self) { static_cast<Connection*>(self)->Process(); }

  static void OnTimeout(void* self) { static_cast<Connection*>(self)->Process(); }

  // Each time the loop is about to wait, what has changed since is told.
  static void OnLoopWaits(void* self) {
    auto* connection = static_cast<Connection*>(self);
    if (!connection->bus_) return;
    connection->Tell();
    connection->Rearm();
  }

  void Process() {
    if (!bus_) return;
    int r;
    while ((r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (r < 0)
      Drop();
    else
      Rearm();
  }

  void Tell() {
    Published now = Publish(Look());
    std::vector<const char*> changed = Changed(published, now);
    bool sameTrack = now.metadata == published.metadata;
    published = now;
    if (!changed.empty()) {
      std::vector<char*> names;
      for (const char* name : changed) names.push_back(const_cast<char*>(name));
      names.push_back(nullptr);
      sd_bus_emit_properties_changed_strv(bus_, ObjectPath, PlayerInterface, names.data());
    }
    // Another track starts at 0 by itself; a jump within one is told.
    if (observed.TakeJump() && sameTrack && now.metadata.trackNumber != 0)
      sd_bus_emit_signal(bus_, ObjectPath, PlayerInterface, "Seeked", "x",
                         now.positionMicroseconds);
  }

  // Watches for what the connection waits on now: reading always, writing
  // while something is queued, and the time of its next deadline.
  void Rearm() {
    int events = sd_bus_get_events(bus_);
    uint64_t deadline = UINT64_MAX;
    if (events < 0 || sd_bus_get_timeout(bus_, &deadline) < 0) {
      Drop();
      return;
    }
    bool write = (events & POLLOUT) != 0;
    if (write != writing_) {
      if (write)
        Fl::add_fd(fd_, FL_WRITE, OnReady, this);
      else
        Fl::remove_fd(fd_, FL_WRITE);
      writing_ = write;
    }
    Fl::remove_timeout(OnTimeout, this);
    if (deadline == UINT64_MAX) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t nowUsec =
        static_cast<uint64_t>(now.tv_sec) * 1000000 + static_cast<uint64_t>(now.tv_nsec) / 1000;
    double delay = deadline > nowUsec ? static_cast<double>(deadline - nowUsec) / 1e6 : 0.0;
    Fl::add_timeout(delay, OnTimeout, this);
  }

  // The bus has gone: the player runs on without it.
  void Drop() {
    Fl::remove_fd(fd_);
    Fl::remove_timeout(OnTimeout, this);
    Fl::remove_check(OnLoopWaits, this);
    bus_ = sd_bus_close_unref(bus_);
    fd_ = -1;
    writing_ = false;
  }

  sd_bus* bus_ = nullptr;
  int fd_ = -1;
  bool writing_ = false;
};

}  // namespace

void Start() {
  static Connection connection;
  if (!connection.Open()) return;
  cdaudio::Watch(&observed);
  ui::WatchSent(OnSent);
}

}  // namespace mpris
