#include "PendingOperations.h"

#include <cstring>

#include "StringUtils.h"
#include "TestRegistry.h"

namespace {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";

}  // namespace

PendingOperationsGuard::PendingOperationsGuard() {
  existed_ = TestRegistry().GetRawValue(kSessionManager, kPending, saved_, type_);
}

PendingOperationsGuard::~PendingOperationsGuard() {
  TestRegistry registry;
  if (existed_) {
    registry.SetRaw(kSessionManager, kPending, type_, saved_.data(), saved_.size());
  } else {
    registry.DeleteValue(kSessionManager, kPending);
  }
}

std::vector<std::wstring> PendingOperationsGuard::Entries() {
  ByteList bytes;
  if (!TestRegistry().GetMultiStringRaw(kSessionManager, kPending, bytes)) return {};
  std::wstring units(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * sizeof(wchar_t));
  std::vector<std::wstring> entries;
  size_t start = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    if (units[i] != L'\0') continue;
    entries.push_back(units.substr(start, i - start));
    start = i + 1;
  }
  return entries;
}

bool HasEntry(const std::vector<std::wstring>& entries, const std::wstring& path) {
  for (const auto& entry : entries) {
    if (entry.size() == path.size() + 4 && EndsWith(entry, path, true)) return true;
  }
  return false;
}
