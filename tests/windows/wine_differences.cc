#include "tests/windows/wine_differences.h"

#include <windows.h>

namespace lorvane::test {

// Wine's ntdll.dll exports its version; Windows' does not.
bool running_under_wine() {
  static const bool under_wine = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return under_wine;
}

}  // namespace lorvane::test
