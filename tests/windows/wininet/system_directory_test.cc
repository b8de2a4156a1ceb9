// wininet.dll comes from the system directory, never from beside the program,
// where this test's build has put a planted wininet.dll.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/internet.h"

namespace {

namespace platform = lorvane::platform;

TEST(WininetLoading, IgnoresPlantedLibraryBesideProgram) {
  // The planted library sits in the program's directory, the first place an
  // ordinary search for "wininet.dll" looks. It stays loaded, so binding by
  // name must not settle for a module that merely has the right name either.
  char program[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
  std::string planted = program;
  planted.resize(planted.find_last_of('\\') + 1);
  planted += "wininet.dll";
  HMODULE planted_library = LoadLibraryExA(planted.c_str(), nullptr, 0);
  ASSERT_NE(planted_library, nullptr) << "no planted library at " << planted;
  ASSERT_NE(GetProcAddress(planted_library, "lorvane_planted_wininet"), nullptr) << planted;

  platform::HINTERNET internet = platform::InternetOpenA(
      "Lorvane test", platform::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  EXPECT_NE(internet, reinterpret_cast<platform::HINTERNET>(std::uintptr_t{0x5EED}))
      << "the planted wininet.dll was bound";
  EXPECT_TRUE(platform::InternetCloseHandle(internet));

  char system_directory[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryA(system_directory, MAX_PATH), 0u);
  EXPECT_NE(GetModuleHandleA((std::string(system_directory) + "\\wininet.dll").c_str()), nullptr)
      << "wininet.dll was not loaded from " << system_directory;
}

}  // namespace
