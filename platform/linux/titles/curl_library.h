// SPDX-License-Identifier: GPL-3.0-or-later
// libcurl, loaded when a lookup is due and not before: with the TLS and
// other libraries it brings, it costs the process several megabytes of
// memory, which a player whose discs name themselves, whose titles are
// cached or whose lookup is off has no use for.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_CURL_LIBRARY_H
#define KORVANE_PLATFORM_LINUX_TITLES_CURL_LIBRARY_H

#include <curl/curl.h>

#include <string>

namespace titles {

// The functions used, from the library loaded.
struct CurlLibrary {
  decltype(&curl_global_init) globalInit;
  decltype(&curl_easy_init) easyInit;
  decltype(&curl_easy_setopt) easySetopt;
  decltype(&curl_easy_perform) easyPerform;
  decltype(&curl_easy_getinfo) easyGetinfo;
  decltype(&curl_easy_cleanup) easyCleanup;
  decltype(&curl_easy_strerror) easyStrerror;
  decltype(&curl_slist_append) slistAppend;
  decltype(&curl_slist_free_all) slistFreeAll;
  decltype(&curl_multi_init) multiInit;
  decltype(&curl_multi_setopt) multiSetopt;
  decltype(&curl_multi_add_handle) multiAddHandle;
  decltype(&curl_multi_remove_handle) multiRemoveHandle;
  decltype(&curl_multi_socket_action) multiSocketAction;
  decltype(&curl_multi_info_read) multiInfoRead;
};

// Loads libcurl and initialises it, once for the process; later calls
// answer as the first did. nullptr, with `why`, when it cannot be loaded.
// Safe from any one thread at a time.
const CurlLibrary* LoadCurl(std::string* why);

}  // namespace titles

#endif
