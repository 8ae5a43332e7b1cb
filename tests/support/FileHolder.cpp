// file_holder <path> <event name> [share-delete]: opens the file or folder, without delete
// sharing unless share-delete is given, signals the named event and keeps it open until it is
// ended.
// file_holder mutex <name> <SDDL> <event name>: makes the named mutex with the descriptor of
// the SDDL (its owner is kept as given, another user's as well), owned by its thread, signals
// the event and holds it until it is ended. Exits 1 when the mutex existed or can't be made.
#include <windows.h>

#include <sddl.h>

#include <cwchar>

namespace {

int HoldMutex(const wchar_t* name, const wchar_t* sddl, const wchar_t* eventName) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return 1;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  HANDLE mutex = ::CreateMutexW(&attributes, TRUE, name);
  if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName);
  if (ready == nullptr) return 1;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wcscmp(argv[1], L"mutex") == 0) return HoldMutex(argv[2], argv[3], argv[4]);
  if (argc != 3 && argc != 4) return 2;
  const bool shareDelete = argc == 4 && std::wcscmp(argv[3], L"share-delete") == 0;
  if (argc == 4 && !shareDelete) return 2;
  // Backup semantics open a folder as well, as a process's current directory holds it.
  HANDLE file =
      ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | (shareDelete ? FILE_SHARE_DELETE : 0),
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (ready == nullptr) return 1;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}
