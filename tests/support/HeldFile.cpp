#include "HeldFile.h"

#include <windows.h>

#include <atomic>

#include "ProgramRunner.h"

HeldFile::HeldFile(const std::wstring& path, Sharing sharing) {
  // One event per holder: holders made within one tick must not share one that is signalled.
  static std::atomic<unsigned> serial{0};
  const std::wstring eventName = L"PurgeKitTestsHeld" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(::GetTickCount64()) + L"-" +
                                 std::to_wstring(serial++);
  UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  if (!ready) return;
  std::wstring commandLine = L"\"" FILE_HOLDER_EXE L"\" \"" + path + L"\" " + eventName;
  if (sharing == Sharing::Delete) commandLine += L" share-delete";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!StartRetried(FILE_HOLDER_EXE, [&] {
        return ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info) != FALSE;
      })) {
    return;
  }
  process_.reset(info.hProcess);
  UniqueHandle thread(info.hThread);
  const HANDLE waits[] = {ready.get(), process_.get()};
  held_ = ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

HeldFile::~HeldFile() { End(); }

void HeldFile::End() {
  if (!process_) return;
  ::TerminateProcess(process_.get(), 0);
  ::WaitForSingleObject(process_.get(), 5000);
  process_.reset();
  held_ = false;
}
