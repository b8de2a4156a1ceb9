// What every Windows test relies on from the Wine set-up: the ANSI code page
// of Chinese-language Windows, so that the "A" functions take our bytes as
// they are on the tool's home machines.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(WindowsEnvironment, AnsiCodePageIs936) { EXPECT_EQ(GetACP(), 936u); }

TEST(WindowsEnvironment, AnsiTextDecodesAsChinese) {
  // "提交" in code page 936.
  const char submit[] = "\xCC\xE1\xBD\xBB";
  wchar_t wide[8] = {};
  const int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, submit, -1, wide, 8);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(wide[0], L'\x63D0');
  EXPECT_EQ(wide[1], L'\x4EA4');
}

}  // namespace
