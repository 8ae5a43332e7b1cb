// file_holder <path> <event name> [share-delete]: opens the file or folder, without delete
// sharing unless share-delete is given, signals the named event and keeps it open until it is
// ended.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
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
