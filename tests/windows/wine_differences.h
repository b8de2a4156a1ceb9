// Rows of a test table that Wine's wininet.dll handles otherwise than Windows
// does. Under Wine such a row is left out; once the other rows have been
// checked, the test ends as skipped and names the rows and the differences.
// Elsewhere (Windows itself, the native build) every row runs.
//
//   WineDifferences wine;
//   for (const Case& c : cases) {
//     if (wine.leave_out(c.name, c.wine)) continue;
//     ...
//   }
//   LORVANE_SKIP_WINE_DIFFERENCES(wine);
#pragma once

#include <string>
#include <string_view>

#include "gtest/gtest.h"

namespace lorvane::test {

#ifdef _WIN32
// True in a Windows program that Wine runs (tests/windows/wine_differences.cc).
bool running_under_wine();
#else
inline bool running_under_wine() { return false; }
#endif

class WineDifferences {
 public:
  // True when the row is to be left out: under Wine, with a difference named.
  bool leave_out(std::string_view row, const char* difference) {
    if (difference == nullptr || !running_under_wine()) return false;
    report_ += "\n  ";
    report_ += row;
    report_ += ": ";
    report_ += difference;
    return true;
  }
  const std::string& report() const { return report_; }

 private:
  std::string report_;
};

}  // namespace lorvane::test

#define LORVANE_SKIP_WINE_DIFFERENCES(differences)                           \
  do {                                                                       \
    if (!(differences).report().empty()) {                                   \
      GTEST_SKIP() << "rows left out under Wine:" << (differences).report(); \
    }                                                                        \
  } while (false)
