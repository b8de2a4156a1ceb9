// The Internet functions that web_request calls, under the names, argument
// orders and constant values of the Windows Internet functions (WinINet).
//
// One backend defines them, chosen by the build: platform/wininet/ binds the
// real functions from wininet.dll, platform/curl/ implements them on libcurl,
// and tests may link a recording backend. Each function reports failure the
// way WinINet does: a null handle, FALSE, or a read count of 0.
#pragma once

#include <cstdint>

namespace lorvane::platform {

using HINTERNET = void*;
using BOOL = int;
using DWORD = std::uint32_t;
using INTERNET_PORT = std::uint16_t;

// InternetOpenA access types.
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

// InternetConnectA service.
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;

// HttpOpenRequestA flags.
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;
inline constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
inline constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;

// InternetSetOptionA option, and the bits of its 4-byte value.
inline constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;
inline constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr DWORD SECURITY_FLAG_IGNORE_WRONG_USAGE = 0x00000200;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;

// WinINet's own options of the whole process, set through InternetSetOptionA with a null
// handle as WinINet takes them: each a 4-byte count of milliseconds, for the
// requests sent from then on. 0xFFFFFFFF means no limit.
//   INTERNET_OPTION_CONNECT_TIMEOUT  how long connecting may take (60 s at
//       first); with the curl backend this takes in name resolution and the
//       TLS handshake
//   INTERNET_OPTION_RECEIVE_TIMEOUT  how long a connected request may go
//       without moving a byte before it ends (30 s at first)
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

// Options of the whole process, given to InternetSetOptionA with a null handle
// (WinINet takes global options that way too). The numbers are our own, far
// from WinINet's, which the wininet backend does not know and refuses.
//   LORVANE_OPTION_VERIFY_CERTIFICATES  4-byte value; nonzero: every request
//       verifies the server's certificate and host name, whatever its
//       security flags let through
//   LORVANE_OPTION_CA_FILE              a file name (not zero-terminated; the
//       length counts its bytes): the certificates trusted in place of the
//       system's; length 0 goes back to the system's
inline constexpr DWORD LORVANE_OPTION_VERIFY_CERTIFICATES = 0x4C520001;
inline constexpr DWORD LORVANE_OPTION_CA_FILE = 0x4C520002;

// Why the calling thread's last failed call failed, in WinINet's numbers
// (WinINet reports them through GetLastError): see internet_error.h.
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// HttpQueryInfoA level: the status line and header lines, each ended by CR LF.
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;

HINTERNET InternetOpenA(const char* agent, DWORD access_type, const char* proxy,
                        const char* proxy_bypass, DWORD flags);

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT server_port,
                           const char* user_name, const char* password, DWORD service, DWORD flags,
                           std::uintptr_t context);

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer, const char** accept_types,
                           DWORD flags, std::uintptr_t context);

BOOL InternetSetOptionA(HINTERNET internet, DWORD option, void* buffer, DWORD buffer_length);

BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headers_length, void* optional,
                      DWORD optional_length);

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD number_of_bytes_to_read,
                      DWORD* number_of_bytes_read);

BOOL HttpQueryInfoA(HINTERNET request, DWORD info_level, void* buffer, DWORD* buffer_length,
                    DWORD* index);

BOOL InternetCloseHandle(HINTERNET internet);

}  // namespace lorvane::platform
