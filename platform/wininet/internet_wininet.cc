// The Internet functions, forwarded to wininet.dll. The library is loaded from
// the system directory only, so that a wininet.dll planted beside the program
// or in the working directory is never picked up, and every function is bound
// by name on first use. A missing library or function makes each call fail the
// way WinINet reports failure (null handle, FALSE, read count 0).
#include <windows.h>

#include <mutex>

#include "platform/internet.h"

namespace lorvane::platform {
namespace {

// The functions' types, written from our own declarations: the same argument
// lists, with the calling convention of the system library.
using InternetOpenFunction = HINTERNET(WINAPI*)(const char*, DWORD, const char*, const char*,
                                                DWORD);
using InternetConnectFunction = HINTERNET(WINAPI*)(HINTERNET, const char*, INTERNET_PORT,
                                                   const char*, const char*, DWORD, DWORD,
                                                   std::uintptr_t);
using HttpOpenRequestFunction = HINTERNET(WINAPI*)(HINTERNET, const char*, const char*, const char*,
                                                   const char*, const char**, DWORD,
                                                   std::uintptr_t);
using InternetSetOptionFunction = BOOL(WINAPI*)(HINTERNET, DWORD, void*, DWORD);
using HttpSendRequestFunction = BOOL(WINAPI*)(HINTERNET, const char*, DWORD, void*, DWORD);
using InternetReadFileFunction = BOOL(WINAPI*)(HINTERNET, void*, DWORD, DWORD*);
using HttpQueryInfoFunction = BOOL(WINAPI*)(HINTERNET, DWORD, void*, DWORD*, DWORD*);
using InternetCloseHandleFunction = BOOL(WINAPI*)(HINTERNET);

struct WininetFunctions {
  InternetOpenFunction internet_open = nullptr;
  InternetConnectFunction internet_connect = nullptr;
  HttpOpenRequestFunction http_open_request = nullptr;
  InternetSetOptionFunction internet_set_option = nullptr;
  HttpSendRequestFunction http_send_request = nullptr;
  InternetReadFileFunction internet_read_file = nullptr;
  HttpQueryInfoFunction http_query_info = nullptr;
  InternetCloseHandleFunction internet_close_handle = nullptr;
};

// The one cast from GetProcAddress's generic pointer to a typed one. Going
// through void(*)() tells the compiler the cast between function types is
// meant.
template <typename Function>
void bind(HMODULE library, const char* name, Function& function) {
  function =
      reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// By its full path: a bare name would also match a module of that name that
// is already loaded from anywhere (a planted copy that some other library
// pulled in), whatever the search flags say.
HMODULE load_from_system_directory(const char* file_name) {
  char path[MAX_PATH];
  const UINT directory_length = GetSystemDirectoryA(path, MAX_PATH);
  const std::size_t name_length = lstrlenA(file_name);
  if (directory_length == 0 || directory_length + 1 + name_length >= MAX_PATH) return nullptr;
  path[directory_length] = '\\';
  lstrcpyA(path + directory_length + 1, file_name);
  // Its own dependencies come from the system directory as well. Windows 7
  // without the loader update rejects that flag; there they are looked for
  // beside the library, which is the system directory too.
  if (HMODULE library = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return library;
  }
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

const WininetFunctions& wininet() {
  static WininetFunctions functions;
  static std::once_flag bound;
  std::call_once(bound, [] {
    // Loaded for the rest of the process: handles outlive no call, but the
    // functions are needed until the program ends.
    HMODULE library = load_from_system_directory("wininet.dll");
    if (library == nullptr) return;
    bind(library, "InternetOpenA", functions.internet_open);
    bind(library, "InternetConnectA", functions.internet_connect);
    bind(library, "HttpOpenRequestA", functions.http_open_request);
    bind(library, "InternetSetOptionA", functions.internet_set_option);
    bind(library, "HttpSendRequestA", functions.http_send_request);
    bind(library, "InternetReadFile", functions.internet_read_file);
    bind(library, "HttpQueryInfoA", functions.http_query_info);
    bind(library, "InternetCloseHandle", functions.internet_close_handle);
  });
  return functions;
}

// What a call to a missing function reports, like a failing WinINet call.
template <typename Result>
Result unavailable(Result failure) {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return failure;
}

}  // namespace

HINTERNET InternetOpenA(const char* agent, DWORD access_type, const char* proxy,
                        const char* proxy_bypass, DWORD flags) {
  const auto function = wininet().internet_open;
  if (function == nullptr) return unavailable<HINTERNET>(nullptr);
  return function(agent, access_type, proxy, proxy_bypass, flags);
}

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT server_port,
                           const char* user_name, const char* password, DWORD service, DWORD flags,
                           std::uintptr_t context) {
  const auto function = wininet().internet_connect;
  if (function == nullptr) return unavailable<HINTERNET>(nullptr);
  return function(internet, server_name, server_port, user_name, password, service, flags, context);
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer, const char** accept_types,
                           DWORD flags, std::uintptr_t context) {
  const auto function = wininet().http_open_request;
  if (function == nullptr) return unavailable<HINTERNET>(nullptr);
  return function(connect, verb, object_name, version, referrer, accept_types, flags, context);
}

BOOL InternetSetOptionA(HINTERNET internet, DWORD option, void* buffer, DWORD buffer_length) {
  const auto function = wininet().internet_set_option;
  if (function == nullptr) return unavailable<BOOL>(FALSE);
  return function(internet, option, buffer, buffer_length);
}

BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headers_length, void* optional,
                      DWORD optional_length) {
  const auto function = wininet().http_send_request;
  if (function == nullptr) return unavailable<BOOL>(FALSE);
  return function(request, headers, headers_length, optional, optional_length);
}

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD number_of_bytes_to_read,
                      DWORD* number_of_bytes_read) {
  const auto function = wininet().internet_read_file;
  if (function == nullptr) {
    // A failed read delivers nothing: callers stop reading at a count of 0.
    if (number_of_bytes_read != nullptr) *number_of_bytes_read = 0;
    return unavailable<BOOL>(FALSE);
  }
  return function(file, buffer, number_of_bytes_to_read, number_of_bytes_read);
}

BOOL HttpQueryInfoA(HINTERNET request, DWORD info_level, void* buffer, DWORD* buffer_length,
                    DWORD* index) {
  const auto function = wininet().http_query_info;
  if (function == nullptr) return unavailable<BOOL>(FALSE);
  return function(request, info_level, buffer, buffer_length, index);
}

BOOL InternetCloseHandle(HINTERNET internet) {
  const auto function = wininet().internet_close_handle;
  if (function == nullptr) return unavailable<BOOL>(FALSE);
  return function(internet);
}

}  // namespace lorvane::platform
