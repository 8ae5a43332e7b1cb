#include "LogLineHeader.h"

namespace {

// Reads the fixed "dddd-dd-dd dd:dd:dd.ddd " part: 'd' is a decimal digit, everything else
// must stand as it is.
bool MatchesTimestamp(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd.ddd ";
  if (text.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const char c = text[i];
    if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) return false;
  }
  return true;
}

// Reads lower-case hexadecimal digits at `pos` up to `end`; at least four, and few enough
// for a DWORD.
bool ReadHexId(std::string_view text, size_t& pos, char end, DWORD& value) {
  const size_t start = pos;
  unsigned long long number = 0;
  while (pos < text.size() && text[pos] != end) {
    const char c = text[pos];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return false;
    }
    number = number * 16 + static_cast<unsigned>(digit);
    if (number > 0xFFFFFFFFull) return false;
    ++pos;
  }
  if (pos >= text.size() || pos - start < 4) return false;
  ++pos;  // the end character
  value = static_cast<DWORD>(number);
  return true;
}

}  // namespace

std::optional<LogLineHeader> ParseLogLineHeader(std::string_view text) {
  if (!MatchesTimestamp(text)) return std::nullopt;
  LogLineHeader header;
  size_t pos = 24;  // past the time stamp and its blank
  if (pos >= text.size() || text[pos] != '[') return std::nullopt;
  ++pos;
  if (!ReadHexId(text, pos, '.', header.processId)) return std::nullopt;
  if (!ReadHexId(text, pos, ']', header.threadId)) return std::nullopt;
  if (pos >= text.size() || text[pos] != ' ') return std::nullopt;
  header.length = pos + 1;
  return header;
}
