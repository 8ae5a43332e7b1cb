#include "ChildPrograms.h"

#include <gtest/gtest.h>

#include "LaunchProcess.h"
#include "PathUtils.h"
#include "ProgramRunner.h"
#include "StringUtils.h"

std::string LuaQuoted(const std::wstring& text) {
  std::string quoted = "'";
  for (char c : WideToUtf8(text)) {
    if (c == '\\' || c == '\'') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "'";
}

std::wstring CopyProgram(const std::wstring& program, const std::wstring& target) {
  std::wstring directory;
  std::wstring name;
  if (SplitPath(target, directory, name)) CreateDirectoryRecursive(directory, nullptr);
  EXPECT_TRUE(::CopyFileW(program.c_str(), target.c_str(), FALSE)) << WideToUtf8(target);
  return target;
}

UniqueHandle StartChild(const std::wstring& path, const wchar_t* arguments) {
  UniqueHandle process;
  StartRetried(path, [&] {
    process.reset(LaunchProcess(path.c_str(), arguments, 0, nullptr, nullptr, nullptr));
    return static_cast<bool>(process);
  });
  return process;
}

bool IsRunning(const UniqueHandle& process) {
  return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}
