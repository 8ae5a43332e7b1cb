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
