#include "ScratchFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwctype>

#include "PathUtils.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

// "<suite>-<test>" of the running test, with every character that could upset a path
// replaced ("test" outside a test).
std::wstring RunningTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return L"test";
  std::wstring name =
      Utf8ToWide(std::string(info->test_suite_name()) + "-" + std::string(info->name()));
  for (auto& c : name) {
    if (!iswalnum(c) && c != L'-') c = L'_';
  }
  return name;
}

bool RunningTestFailed() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info != nullptr && info->result()->Failed();
}

}  // namespace

ScratchFolder::ScratchFolder(const std::wstring& name) {
  static std::atomic<unsigned> serial{0};
  path_ = std::wstring(TEST_SCRATCH_DIR) + L"\\" + (name.empty() ? RunningTestName() : name) +
          L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
  // Left over from an earlier process of the same id whose test failed.
  RemoveFolderTree(path_);
  ::CreateDirectoryW(TEST_SCRATCH_DIR, nullptr);
  EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr))
      << "scratch folder " << WideToUtf8(path_) << ": error " << ::GetLastError();
}

ScratchFolder::~ScratchFolder() {
  if (!RunningTestFailed()) RemoveFolderTree(path_);
}

std::wstring ScratchFolder::operator/(const std::wstring& relative) const {
  return path_ + L"\\" + relative;
}

std::wstring ScratchFolder::Write(const std::wstring& relative, const std::string& bytes) const {
  const std::wstring path = *this / relative;
  const size_t slash = relative.rfind(L'\\');
  if (slash != std::wstring::npos)
    CreateDirectoryRecursive(*this / relative.substr(0, slash), nullptr);
  EXPECT_TRUE(WriteFileBytes(path, bytes)) << WideToUtf8(path) << ": error " << ::GetLastError();
  return path;
}
