#include "ScriptTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "PathUtils.h"
#include "UniqueAny.h"

LogCapture& TestLog() {
  static LogCapture capture(L"unit_scripting");
  return capture;
}

std::wstring ScriptFixture(const std::wstring& name) {
  return std::wstring(TEST_FIXTURES_DIR) + L"\\scripts\\" + name;
}

std::string StackEntry(const std::string& slots) { return "*E: *** LUA STACK: ***\r\n" + slots; }

ScriptFolder::ScriptFolder(const std::wstring& name) {
  static int counter = 0;
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  path_ = CombinePath(temp, L"pk-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++counter) + L"-" + name);
  EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr)) << ::GetLastError();
}

ScriptFolder::~ScriptFolder() { DeleteDirectoryTree(path_, false); }

std::wstring ScriptFolder::Write(const std::wstring& name, const std::string& text) {
  const std::wstring path = CombinePath(path_, name);
  UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_TRUE(file) << ::GetLastError();
  DWORD written = 0;
  EXPECT_TRUE(
      ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  return path;
}
