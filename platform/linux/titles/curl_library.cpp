// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/curl_library.h"

#include <dlfcn.h>

namespace titles {

namespace {

// The soname Debian's libcurl4 (OpenSSL) and libcurl3-gnutls both provide
// under this name or beside it.
constexpr const char* Sonames[] = {"libcurl.so.4", "libcurl-gnutls.so.4"};

template <typename Function>
bool Find(void* library, const char* name, Function* function, std::string* why) {
  void* symbol = dlsym(library, name);
  if (!symbol) {
    *why = std::string("libcurl has no ") + name;
    return false;
  }
  *function = reinterpret_cast<Function>(symbol);
  return true;
}

const CurlLibrary* Load(std::string* why) {
  void* library = nullptr;
  for (const char* soname : Sonames)
    if ((library = dlopen(soname, RTLD_NOW | RTLD_LOCAL))) break;
  if (!library) {
    const char* error = dlerror();
    *why = std::string("cannot load libcurl: ") + (error ? error : "not found");
    return nullptr;
  }
  // Kept for the rest of the process, as the library is.
  static CurlLibrary curl;
  if (!Find(library, "curl_global_init", &curl.globalInit, why) ||
      !Find(library, "curl_easy_init", &curl.easyInit, why) ||
      !Find(library, "curl_easy_setopt", &curl.easySetopt, why) ||
      !Find(library, "curl_easy_perform", &curl.easyPerform, why) ||
      !Find(library, "curl_easy_getinfo", &curl.easyGetinfo, why) ||
      !Find(library, "curl_easy_cleanup", &curl.easyCleanup, why) ||
      !Find(library, "curl_easy_strerror", &curl.easyStrerror, why) ||
      !Find(library, "curl_slist_append", &curl.slistAppend, why) ||
      !Find(library, "curl_slist_free_all", &curl.slistFreeAll, why) ||
      !Find(library, "curl_multi_init", &curl.multiInit, why) ||
      !Find(library, "curl_multi_setopt", &curl.multiSetopt, why) ||
      !Find(library, "curl_multi_add_handle", &curl.multiAddHandle, why) ||
      !Find(library, "curl_multi_remove_handle", &curl.multiRemoveHandle, why) ||
      !Find(library, "curl_multi_socket_action", &curl.multiSocketAction, why) ||
      !Find(library, "curl_multi_info_read", &curl.multiInfoRead, why))
    return nullptr;
  if (curl.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    *why = "libcurl could not be initialised";
    return nullptr;
  }
  return &curl;
}

}  // namespace

const CurlLibrary* LoadCurl(std::string* why) {
  static std::string problem;
  static const CurlLibrary* loaded = Load(&problem);
  if (!loaded) *why = problem;
  return loaded;
}

}  // namespace titles
