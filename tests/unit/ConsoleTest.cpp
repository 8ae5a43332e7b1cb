#include <gtest/gtest.h>

#include <string>

#include "Console.h"
#include "TestFiles.h"
#include "UniqueAny.h"

namespace {

// Points this process's standard output at a pipe for the duration of one test and
// collects what was written to it.
class CapturedOutput {
 public:
  CapturedOutput() {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, FALSE};
    EXPECT_TRUE(::CreatePipe(&read, &write, &sa, 1 << 20));
    read_.reset(read);
    write_.reset(write);
    previous_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, write_.get());
  }
  ~CapturedOutput() { ::SetStdHandle(STD_OUTPUT_HANDLE, previous_); }

  std::string Take() {
    ::SetStdHandle(STD_OUTPUT_HANDLE, previous_);
    write_.reset();
    return ReadToEnd(read_.get());
  }

 private:
  UniqueHandle read_;
  UniqueHandle write_;
  HANDLE previous_ = nullptr;
};

TEST(PrintToConsole, PipeGetsUtf8TextAndNewline) {
  CapturedOutput output;
  PrintToConsole(L"Error in parameters: %s", L"\u65e5\u672c\u8a9e caf\u00e9");
  PrintToConsole(L"%ls|%s", L"a", L"b");
  EXPECT_EQ(output.Take(),
            "Error in parameters: \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e caf\xc3\xa9\n"
            "a|b\n");
}

TEST(PrintToConsole, LengthLimits) {
  struct Case {
    size_t length;
    bool written;
  };
  const Case cases[] = {{1023, true}, {1024, true}, {65535, true}, {65536, false}};
  for (const auto& c : cases) {
    CapturedOutput output;
    const std::wstring text(c.length, L'k');
    PrintToConsole(L"%s", text.c_str());
    const std::string got = output.Take();
    if (c.written) {
      EXPECT_EQ(got, std::string(c.length, 'k') + "\n") << c.length;
    } else {
      EXPECT_EQ(got, "") << c.length;
    }
  }
}

}  // namespace
