#pragma once

#include <string>

// Opens a web link (or a local HTML page) through the desktop's shell, so that it opens as
// the signed-in user who owns the desktop and not with this program's rights. COM must be
// initialised on the calling thread. True when the shell accepted the request.
bool OpenUrl(const std::wstring& url);
// Only "https://" and "http://" links, and "file:///" links to ".html" or ".htm" files.
bool IsAllowedUrl(const std::wstring& url);
// The desktop shell's ShellExecute; an empty value stands for a missing one.
bool ShellExecuteFromDesktop(const std::wstring& file, const std::wstring& arguments,
                             const std::wstring& directory, const std::wstring& operation,
                             int showCommand);
