#include "KvPrivilege.h"

#include <new>

UniqueHandle KvPrivilege::OpenToken(Record& record) {
  UniqueHandle token;
  const DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  if (::OpenThreadToken(::GetCurrentThread(), access, FALSE, token.put())) return token;
  if (::GetLastError() != ERROR_NO_TOKEN) return {};
  if (!::ImpersonateSelf(SecurityImpersonation)) return {};
  record.impersonated = true;
  if (!::OpenThreadToken(::GetCurrentThread(), access, FALSE, token.put())) return {};
  return token;
}

KvPrivilege::KvPrivilege(const wchar_t* privilegeName) : record_(new (std::nothrow) Record{}) {
  if (!record_) return;
  UniqueHandle token = OpenToken(*record_);
  if (!token) return;

  LUID luid{};
  if (privilegeName == nullptr || !::LookupPrivilegeValueW(nullptr, privilegeName, &luid)) return;

  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Luid = luid;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD returned = 0;
  const BOOL adjusted = ::AdjustTokenPrivileges(
      token.get(), FALSE, &wanted, sizeof(record_->previous), &record_->previous, &returned);
  // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks the privilege.
  record_->enabled = adjusted && ::GetLastError() == ERROR_SUCCESS;
  // Only what the call reports as changed is ever put back.
  if (!adjusted) record_->previous = TOKEN_PRIVILEGES{};
}

KvPrivilege::~KvPrivilege() {
  if (!record_) return;
  const DWORD lastError = ::GetLastError();
  if (record_->previous.PrivilegeCount != 0) {
    UniqueHandle token = OpenToken(*record_);
    if (token) {
      ::AdjustTokenPrivileges(token.get(), FALSE, &record_->previous, 0, nullptr, nullptr);
    }
    record_->previous = TOKEN_PRIVILEGES{};
    record_->enabled = false;
  }
  if (record_->impersonated) ::RevertToSelf();
  ::SetLastError(lastError);
}

bool KvPrivilege::IsEnabled() const noexcept { return record_ && record_->enabled; }
