// A stranger's wininet.dll, put beside a test program: whoever loads it gets
// its InternetOpenA, which hands out a handle no real wininet.dll would.
#include <cstdint>

extern "C" {

__declspec(dllexport) void* __stdcall InternetOpenA(const char*, std::uint32_t, const char*,
                                                    const char*, std::uint32_t) {
  return reinterpret_cast<void*>(std::uintptr_t{0x5EED});
}

// Lets the test see that this file, not the system's, is what a plain
// LoadLibraryA("wininet.dll") finds.
__declspec(dllexport) int lorvane_planted_wininet() { return 1; }
}
