#include "StringUtils.h"

#include <windows.h>

#include <climits>
#include <cwctype>

std::wstring MultiByteToWide(const std::string& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int units =
      ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring result(static_cast<size_t>(units), L'\0');
  if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, result.data(),
                            units) == 0) {
    return {};
  }
  return result;
}

std::wstring AcpToWide(const std::string& text) { return MultiByteToWide(text, CP_ACP); }

std::wstring Utf8ToWide(const std::string& text) { return MultiByteToWide(text, CP_UTF8); }

std::string WideToMultiByte(const std::wstring& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  if (codePage == CP_ACP) codePage = ::GetACP();
  if (codePage == CP_OEMCP) codePage = ::GetOEMCP();
  // UTF-8 holds every character. Any other code page must not stand in a look-alike (a
  // full-width backslash for a backslash, "O" for an omega) or its default character for
  // what it lacks: then the conversion fails.
  const bool exact = codePage != CP_UTF8 && codePage != CP_UTF7;
  const DWORD flags = exact ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultFlag = exact ? &usedDefault : nullptr;
  const int bytes = ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr,
                                          usedDefaultFlag);
  if (bytes <= 0 || usedDefault) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  if (::WideCharToMultiByte(codePage, flags, text.data(), length, result.data(), bytes, nullptr,
                            usedDefaultFlag) == 0 ||
      usedDefault) {
    return {};
  }
  return result;
}

std::string WideToAcp(const std::wstring& text) { return WideToMultiByte(text, CP_ACP); }

std::string WideToUtf8(const std::wstring& text) { return WideToMultiByte(text, CP_UTF8); }

bool WideToUtf8Exact(const std::wstring& text, std::string& utf8) {
  utf8 = WideToUtf8(text);
  if (utf8.empty() == text.empty() && Utf8ToWide(utf8) == text) return true;
  utf8.clear();
  return false;
}

namespace {

bool SameUnit(wchar_t a, wchar_t b, bool ignoreCase) {
  if (ignoreCase) return std::towlower(a) == std::towlower(b);
  return a == b;
}

}  // namespace

// One pass with one saved star: on a mismatch the last star takes one more unit and the
// rest of the pattern is tried again from there. Earlier stars never need to give anything
// back, so no mask can make the match take more than (text length) x (pattern length)
// steps.
bool WildcardMatchRange(const wchar_t* t, const wchar_t* textEnd, const wchar_t* p,
                        const wchar_t* patternEnd, bool ignoreCase) {
  const wchar_t* afterStar = nullptr;  // the pattern just past the last star run met
  const wchar_t* starText = nullptr;   // where the text stood when that star began
  while (t != textEnd) {
    if (p != patternEnd && *p == L'*') {
      while (p != patternEnd && *p == L'*') ++p;
      if (p == patternEnd) return true;
      afterStar = p;
      starText = t;
    } else if (p != patternEnd && (*p == L'?' || SameUnit(*p, *t, ignoreCase))) {
      ++p;
      ++t;
    } else if (afterStar != nullptr) {
      p = afterStar;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (p != patternEnd && *p == L'*') ++p;
  return p == patternEnd;
}

bool WildcardMatch(const std::wstring& text, const std::wstring& pattern, bool ignoreCase) {
  return WildcardMatchRange(text.data(), text.data() + text.size(), pattern.data(),
                            pattern.data() + pattern.size(), ignoreCase);
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix, bool ignoreCase) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (!SameUnit(text[i], prefix[i], ignoreCase)) return false;
  }
  return true;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix, bool ignoreCase) {
  if (text.size() < suffix.size()) return false;
  const size_t offset = text.size() - suffix.size();
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (!SameUnit(text[offset + i], suffix[i], ignoreCase)) return false;
  }
  return true;
}

bool Contains(const StringList& list, const std::wstring& text) {
  for (const auto& element : list) {
    if (element == text) return true;
  }
  return false;
}

std::wstring Join(const StringList& list, wchar_t separator) {
  std::wstring result;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i != 0) result.push_back(separator);
    result += list[i];
  }
  return result;
}

StringList Split(const std::wstring& text, wchar_t separator) {
  StringList pieces;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == separator) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& search,
                        const std::wstring& replacement) {
  std::wstring result = text;
  if (search.empty()) return result;
  size_t position = result.find(search);
  while (position != std::wstring::npos) {
    result.replace(position, search.size(), replacement);
    position = result.find(search, position + replacement.size());
  }
  return result;
}

namespace {

// The length of the well-formed UTF-8 sequence at `bytes`, 0 when there is none.
size_t Utf8SequenceLength(const unsigned char* bytes, size_t available) {
  const unsigned char lead = bytes[0];
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;   // the range of the second byte, which rules out overlong
  unsigned char high = 0xBF;  // forms, surrogate halves and code points above U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < length || bytes[1] < low || bytes[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (bytes[i] < 0x80 || bytes[i] > 0xBF) return 0;
  }
  return length;
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = Utf8SequenceLength(data + i, bytes.size() - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::wstring EscapeForLog(const std::string& bytes) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::wstring result;
  for (size_t i = 0; i < bytes.size();) {
    size_t length = Utf8SequenceLength(data + i, bytes.size() - i);
    // C0 controls, DEL and the C1 controls (U+0080 to U+009F, C2 80 to C2 9F).
    const bool control = (length == 1 && (data[i] < 0x20 || data[i] == 0x7F)) ||
                         (length == 2 && data[i] == 0xC2 && data[i + 1] < 0xA0);
    if (length == 0 || control) {
      if (length == 0) length = 1;
      for (size_t k = 0; k < length; ++k) {
        result += L"\\x";
        result.push_back(kDigits[data[i + k] >> 4]);
        result.push_back(kDigits[data[i + k] & 0xF]);
      }
      i += length;
      continue;
    }
    result += Utf8ToWide(bytes.substr(i, length));
    i += length;
  }
  return result;
}
