#pragma once

#include <windows.h>

#include <memory>

// Starting programs. Nothing here logs; a failure leaves the Windows error code for the
// caller to read.

// "\"path\" arguments", or "\"path\"" without arguments (null or none). The path is quoted
// unchanged and the arguments are appended as they are. Null when formatting fails.
std::unique_ptr<wchar_t[]> BuildQuotedCommandLine(const wchar_t* path, const wchar_t* arguments);

// Starts `path` with the quoted command line. Null arguments, working directory or
// environment block mean none of their own; a null startup record means the default one.
// Handles are inherited exactly when the startup record asks for standard handles
// (STARTF_USESTDHANDLES). Returns the process handle, which the caller waits on and closes,
// or null. Refused without a try: EXTENDED_STARTUPINFO_PRESENT in the flags
// (ERROR_INVALID_PARAMETER), a path of MAX_PATH units or more (ERROR_FILENAME_EXCED_RANGE).
HANDLE LaunchProcess(const wchar_t* path, const wchar_t* arguments, DWORD creationFlags,
                     const wchar_t* workingDirectory, void* environment,
                     const STARTUPINFOW* startupInfo);
