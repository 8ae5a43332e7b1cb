#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The operations behind the Process table's functions.
namespace Lua::Process {

// Whether a process whose executable is `image` is meant by the script's `text`.
using MatchRule = std::function<bool(const std::wstring& image, const std::wstring& text)>;

// `image` lies below the folder `text` (a backslash is appended unless it ends in one).
bool MatchPathPrefix(const std::wstring& image, const std::wstring& text);
// `image` is the path `text`.
bool MatchPath(const std::wstring& image, const std::wstring& text);
// The file name of `image` is `text`.
bool MatchName(const std::wstring& image, const std::wstring& text);
// The file name of `image` matches the wildcard mask `text`, case-sensitively.
bool MatchNameMask(const std::wstring& image, const std::wstring& text);

// Terminates every process whose executable the rule matches and waits up to 10000 ms in
// all for them to end. False only when the process list can't be read. This program's
// own process is never terminated.
bool TerminateProcesses(const std::wstring& text, const MatchRule& rule);

// The code page number the system reports for an identifier (CP_ACP and CP_OEMCP show as
// real numbers); 0 when it can't.
unsigned long GetCodePageValue(int codePage);

// Starts the program, logging its output under `logName` unless that is empty, and waits
// for it. True only when it ended within the time-out with exit code 0; a program still
// running after the time-out is left running.
bool StartProcessWithArgumentsAndWaitForCompletion(const std::wstring& application,
                                                   const std::wstring& arguments, DWORD timeoutMs,
                                                   DWORD creationFlags,
                                                   const std::wstring& workingDirectory,
                                                   const std::wstring& logName, int codePage);
// Starts the program without waiting for it.
bool StartProcessWithArguments(const std::wstring& application, const std::wstring& arguments,
                               DWORD creationFlags, const std::wstring& workingDirectory);

}  // namespace Lua::Process
