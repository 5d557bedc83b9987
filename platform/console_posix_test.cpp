// Tests of the POSIX console: GBK messages pass unchanged to a non-UTF-8
// terminal and are converted for a UTF-8 one, while the texts filled into
// them (paths, arguments, already in the terminal's encoding) never are.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/support/capture_stdout.h"

namespace {

template <typename... Args>
std::string Printed(bool utf8, const char* format, Args... args) {
  platform::ConsoleSetUtf8(utf8);
  fixtures::CaptureStdout capture;
  platform::ConsolePrintf(format, args...);
  std::string out = capture.Finish();
  platform::ConsoleSetUtf8(false);
  return out;
}

TEST(ConsolePosix, ConvertsTheGbkFormatOnlyForUtf8Terminals) {
  struct Case {
    const char* format;
    const char* argument;
    std::string raw, utf8;
  } cases[] = {
      // 正在 [%s]: the format converts, the UTF-8 argument stays as it is
      {"\xD5\xFD\xD4\xDA [%s]\r", "汉化/路径", "\xD5\xFD\xD4\xDA [汉化/路径]\r", "正在 [汉化/路径]\r"},
      // bytes that are not GBK pass through; the text after them still converts
      {"\xFF\xD5\xFD%s", "", "\xFF\xD5\xFD", "\xFF正"},
      // a lead byte cut off at the end of the format
      {"abc%s\xD5", "x", "abcx\xD5", "abcx\xD5"},
      // % directives inside GBK text keep working after the conversion
      {"\xCE\xC4\xBC\xFE[%s]\xB4\xED\xCE\xF3\n", "C:\\a.upk", "\xCE\xC4\xBC\xFE[C:\\a.upk]\xB4\xED\xCE\xF3\n",
       "文件[C:\\a.upk]错误\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Printed(false, c.format, c.argument), c.raw) << c.format;
    EXPECT_EQ(Printed(true, c.format, c.argument), c.utf8) << c.format;
  }
}

TEST(ConsolePosix, LongMessagesArriveWhole) {
  std::string path(100000, 'p');
  std::string out = Printed(true, "\xBA\xBA\xBB\xAF %s %d\n", path.c_str(), 1698);
  EXPECT_EQ(out, "汉化 " + path + " 1698\n");
}

}  // namespace
