#include "platform/linux/disc/sndfile_library.h"

#include <dlfcn.h>

#include <atomic>

namespace disc {

namespace {

constexpr const char* LibraryName = "libsndfile.so.1";

std::atomic<bool> loaded{false};

template <typename Call>
bool Bind(void* library, const char* name, Call* call) {
  *call = reinterpret_cast<Call>(dlsym(library, name));
  return *call != nullptr;
}

struct Loaded {
  SndfileCalls calls;
  std::string problem;  // empty when the calls are bound

  Loaded() {
    void* library = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* error = dlerror();
      problem = std::string("cannot load ") + LibraryName + " (" + (error ? error : "unknown") +
                "), which reads audio files";
      return;
    }
    if (!Bind(library, "sf_open_fd", &calls.openFd) || !Bind(library, "sf_close", &calls.close) ||
        !Bind(library, "sf_readf_short", &calls.readShort) ||
        !Bind(library, "sf_seek", &calls.seek) || !Bind(library, "sf_strerror", &calls.strError) ||
        !Bind(library, "sf_command", &calls.command)) {
      problem = std::string(LibraryName) + " lacks the calls that read audio files";
      dlclose(library);
      return;
    }
    // Kept for the life of the process: decoders may be open at exit.
    loaded = true;
  }
};

}  // namespace

const SndfileCalls* Sndfile(std::string* why) {
  static const Loaded library;
  if (!library.problem.empty()) {
    *why = library.problem;
    return nullptr;
  }
  return &library.calls;
}

bool SndfileLoaded() { return loaded; }

}  // namespace disc
