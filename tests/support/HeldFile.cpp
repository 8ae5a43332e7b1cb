#include "HeldFile.h"

#include <windows.h>

#include <atomic>

#include "ProgramRunner.h"

namespace {

// Starts file_holder with the arguments and an event of its own to signal once it holds what
// it was asked to; true when it did.
bool StartHolder(const std::wstring& arguments, UniqueHandle& process) {
  // One event per holder: holders made within one tick must not share one that is signalled.
  static std::atomic<unsigned> serial{0};
  const std::wstring eventName = L"PurgeKitTestsHeld" + std::to_wstring(::GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(::GetTickCount64()) + L"-" +
                                 std::to_wstring(serial++);
  UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  if (!ready) return false;
  std::wstring commandLine = L"\"" FILE_HOLDER_EXE L"\" " + arguments;
  const size_t event = commandLine.find(L"<event>");
  commandLine.replace(event, 7, eventName);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!StartRetried(FILE_HOLDER_EXE, [&] {
        return ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info) != FALSE;
      })) {
    return false;
  }
  process.reset(info.hProcess);
  UniqueHandle thread(info.hThread);
  const HANDLE waits[] = {ready.get(), process.get()};
  return ::WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

void EndHolder(UniqueHandle& process) {
  if (!process) return;
  ::TerminateProcess(process.get(), 0);
  ::WaitForSingleObject(process.get(), 5000);
  process.reset();
}

}  // namespace

HeldFile::HeldFile(const std::wstring& path, Sharing sharing) {
  held_ = StartHolder(
      L"\"" + path + L"\" <event>" + (sharing == Sharing::Delete ? L" share-delete" : L""),
      process_);
}

HeldFile::~HeldFile() { End(); }

void HeldFile::End() {
  EndHolder(process_);
  held_ = false;
}

HeldMutex::HeldMutex(const std::wstring& name, const std::wstring& sddl) {
  held_ = StartHolder(L"mutex \"" + name + L"\" \"" + sddl + L"\" <event>", process_);
}

HeldMutex::~HeldMutex() { EndHolder(process_); }
