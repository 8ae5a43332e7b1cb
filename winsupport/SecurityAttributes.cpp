#include "SecurityAttributes.h"

#include <sddl.h>

#include <new>
#include <string>

namespace {

constexpr const wchar_t* kWorkDirectoryPieces[] = {
    L"D:",
    L"(D;OICI;GA;;;AN)",
    L"(D;OICI;GA;;;NU)",
    L"(D;OICI;GA;;;LS)",
    L"(A;OICI;0x1200a9;;;BG)",
    L"(A;OICI;0x1200a9;;;BU)",
    L"(A;OICI;GA;;;BA)",
    L"(A;OICI;GA;;;LA)",
    L"(A;OICI;GA;;;SY)",
};

constexpr const wchar_t* kEveryoneFullAccessPieces[] = {
    L"D:",
    L"(A;OICI;GA;;;WD)",
};

// What a forced removal grants while it retries: the program runs as an administrator, so
// nothing more is needed, and an object that still can't be removed opens to nobody else.
constexpr const wchar_t* kAdministratorsFullAccessPieces[] = {
    L"D:",
    L"(A;OICI;GA;;;BA)",
    L"(A;OICI;GA;;;SY)",
};

// Kernel objects inherit nothing, so the entries carry no inheritance flags.
constexpr const wchar_t* kAdministratorsOnlyObjectPieces[] = {
    L"D:",
    L"(A;;GA;;;SY)",
    L"(A;;GA;;;BA)",
};

template <size_t N>
std::wstring Assemble(const wchar_t* const (&pieces)[N]) {
  std::wstring text;
  for (const wchar_t* piece : pieces) text += piece;
  return text;
}

}  // namespace

void SecurityAttributes::RecordDeleter::operator()(SECURITY_ATTRIBUTES* record) const noexcept {
  if (record->lpSecurityDescriptor != nullptr) ::LocalFree(record->lpSecurityDescriptor);
  delete record;
}

void SecurityAttributes::Reset() {
  record_.reset();
  auto* record = new (std::nothrow) SECURITY_ATTRIBUTES{};
  if (record == nullptr) return;
  record->nLength = sizeof(SECURITY_ATTRIBUTES);
  record->lpSecurityDescriptor = nullptr;
  record->bInheritHandle = FALSE;
  record_.reset(record);
}

bool SecurityAttributes::InitFromSddl(const wchar_t* sddl, bool leaveUnprotected) {
  Reset();
  if (!record_) return false;
  if (sddl == nullptr || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                             sddl, SDDL_REVISION_1, &record_->lpSecurityDescriptor, nullptr)) {
    const DWORD error = sddl == nullptr ? ERROR_INVALID_PARAMETER : ::GetLastError();
    record_->lpSecurityDescriptor = nullptr;
    record_.reset();
    ::SetLastError(error);
    return false;
  }
  if (leaveUnprotected) return true;
  return ::SetSecurityDescriptorControl(record_->lpSecurityDescriptor, SE_DACL_PROTECTED,
                                        SE_DACL_PROTECTED) != FALSE;
}

void SecurityAttributes::InitWorkDirectory() {
  InitFromSddl(Assemble(kWorkDirectoryPieces).c_str(), false);
}

void SecurityAttributes::InitEveryoneFullAccess() {
  InitFromSddl(Assemble(kEveryoneFullAccessPieces).c_str(), false);
}

void SecurityAttributes::InitAdministratorsFullAccess() {
  InitFromSddl(Assemble(kAdministratorsFullAccessPieces).c_str(), false);
}

void SecurityAttributes::InitAdministratorsOnlyObject(bool administratorsOwner) {
  const std::wstring dacl = Assemble(kAdministratorsOnlyObjectPieces);
  InitFromSddl((administratorsOwner ? L"O:BA" + dacl : dacl).c_str(), false);
}
