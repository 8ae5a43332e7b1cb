#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string_view>

// The start of every log line: "yyyy-mm-dd hh:mm:ss.mmm [pid.tid] ", both ids in lower-case
// hexadecimal of at least four digits. Parsed by hand rather than with std::regex, which
// recurses once per character and overflows the stack on the 64 KiB lines the logger writes.
struct LogLineHeader {
  DWORD processId = 0;
  DWORD threadId = 0;
  size_t length = 0;  // where the tag begins
};

// The header at the start of `text`, or nothing when `text` does not start with one.
std::optional<LogLineHeader> ParseLogLineHeader(std::string_view text);
