// Ending processes by their executable's path: one walk over the process list, one rule per
// script function.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <vector>

#include "KvPrivilege.h"
#include "Log.h"
#include "PathUtils.h"
#include "ProcessModule.h"
#include "UniqueAny.h"

namespace Lua::Process {

namespace {

using namespace KvTzkLogging;

constexpr char kFunction[] = "Lua::Process::TerminateProcesses";
constexpr DWORD kWaitTimeoutMs = 10000;

// The C runtime's comparison: in the default locale only A to Z are folded.
bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && StartsWith(a, b, true);
}

std::wstring FileName(const std::wstring& image) {
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(image, directory, name)) return {};
  return name;
}

// The full path of the process's first module, its executable; empty when the process's
// modules can't be read. The list answers for process 0 with the caller's own modules, so
// that entry is never read.
std::wstring ImagePath(DWORD processId) {
  if (processId == 0) return {};
  const UniqueFileHandle modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!modules) return {};
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  if (!::Module32FirstW(modules.get(), &module)) return {};
  return module.szExePath;
}

// The full path of the executable of the process the handle holds, read through that handle;
// empty when it can't be read.
std::wstring ImagePathOf(HANDLE process) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    auto size = static_cast<DWORD>(path.size());
    if (::QueryFullProcessImageNameW(process, 0, path.data(), &size)) {
      path.resize(size);
      return path;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    path.resize(path.size() * 4);
  }
  return {};
}

// One wait over at most 64 handles at a time, all of them within the one time-out.
void WaitForAll(const std::vector<UniqueHandle>& processes) {
  std::vector<HANDLE> handles;
  for (const auto& process : processes) handles.push_back(process.get());
  const DWORD startTick = ::GetTickCount();
  for (size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
    const DWORD elapsed = ::GetTickCount() - startTick;
    if (elapsed >= kWaitTimeoutMs) return;
    const auto count =
        static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first));
    ::WaitForMultipleObjects(count, handles.data() + first, TRUE, kWaitTimeoutMs - elapsed);
  }
}

}  // namespace

bool MatchPathPrefix(const std::wstring& image, const std::wstring& text) {
  if (text.empty()) return false;
  const std::wstring prefix = text.back() == L'\\' ? text : text + L'\\';
  return image.size() > prefix.size() && StartsWith(image, prefix, true);
}

bool MatchPath(const std::wstring& image, const std::wstring& text) {
  return SameTextIgnoringCase(image, text);
}

bool MatchName(const std::wstring& image, const std::wstring& text) {
  return SameTextIgnoringCase(FileName(image), text);
}

bool MatchNameMask(const std::wstring& image, const std::wstring& text) {
  return WildcardMatch(FileName(image), text, false);
}

bool TerminateProcesses(const std::wstring& text, const MatchRule& rule) {
  const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == nullptr) {
    LogFuncW(LogError, kFunction, L"Failed to create tool help snapshot : %lu", ::GetLastError());
    return false;
  }
  std::vector<UniqueHandle> terminated;
  {
    const KvPrivilege debug(SE_DEBUG_NAME);
    if (!debug.IsEnabled()) LogFuncW(LogWarning, kFunction, L"Failed to get debug privilege");

    const DWORD ownId = ::GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
      const DWORD id = entry.th32ProcessID;
      if (id == ownId) continue;
      // The id may be reused by another process at any time after the list was taken, so the
      // process is opened first and its path read, compared and ended through that one
      // handle.
      UniqueHandle process(::OpenProcess(
          SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
      if (!process) {
        const DWORD error = ::GetLastError();
        // Nothing is ended then; the list's word on its path only tells whether to say so.
        const std::wstring listed = ImagePath(id);
        if (listed.empty() || !rule(listed, text)) continue;
        LogFuncW(LogInfo, kFunction, L"Terminating process [%lu] '%s'", id, listed.c_str());
        LogFuncW(LogWarning, kFunction, L"Failed to open process: %lu", error);
        continue;
      }
      const std::wstring image = ImagePathOf(process.get());
      if (image.empty() || !rule(image, text)) continue;
      LogFuncW(LogInfo, kFunction, L"Terminating process [%lu] '%s'", id, image.c_str());
      if (!::TerminateProcess(process.get(), 0)) {
        LogFuncW(LogError, kFunction, L"Failed to terminate: %lu", ::GetLastError());
        continue;
      }
      terminated.push_back(std::move(process));
    }
    if (!terminated.empty()) WaitForAll(terminated);
  }
  return true;
}

}  // namespace Lua::Process
