#pragma once

#include <windows.h>

#include <string>

#include "UniqueAny.h"

// Helper programs that the process tests start, copied where a test wants them.

// A Lua string literal holding the text as UTF-8.
std::string LuaQuoted(const std::wstring& text);
// Copies the program to `target` (its folder is made when missing) and returns `target`; a
// copy that fails fails the running test. A copy at a path of the test's own can be ended by
// its path without touching other tests' processes.
std::wstring CopyProgram(const std::wstring& program, const std::wstring& target);
// Starts the program with "\"path\" arguments", handles not inherited; null on failure.
UniqueHandle StartChild(const std::wstring& path, const wchar_t* arguments);
bool IsRunning(const UniqueHandle& process);
