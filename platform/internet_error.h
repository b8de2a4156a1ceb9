// Why an Internet function failed: the last error of the calling thread, in
// WinINet's numbers (ERROR_INTERNET_... in internet.h). WinINet's own callers
// ask GetLastError; the curl backend keeps the number here.
#pragma once

#include "platform/internet.h"

namespace lorvane::platform {

// The error of the calling thread's last failed HttpSendRequestA; 0 when it
// succeeded or no request was sent. Defined by the curl backend only.
DWORD last_internet_error();

}  // namespace lorvane::platform
