// file_holder <path> <event name>: opens the file without delete sharing, signals the named
// event and keeps the file open until it is ended.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  HANDLE file =
      ::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (ready == nullptr) return 1;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}
