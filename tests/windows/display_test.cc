// The display that DISPLAY tests get: windows can be created and shown on it,
// at the screen size the harness gives Xvfb.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(WindowsDisplay, TopLevelWindowOpensOnTheRunsScreen) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1024);
  HWND window = CreateWindowExA(0, "STATIC", "display check", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                10, 200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr) << "no window: error " << GetLastError();
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(DestroyWindow(window));
}

}  // namespace
