#pragma once

#include <string>
#include <vector>

// Conversions between UTF-16 and the 8-bit encodings, and the small string helpers the
// whole program shares. None of them keeps state or throws for bad input: a conversion
// that fails yields an empty string.

using StringList = std::vector<std::wstring>;

std::wstring MultiByteToWide(const std::string& text, unsigned codePage);
std::wstring AcpToWide(const std::string& text);
std::wstring Utf8ToWide(const std::string& text);
// Into a code page other than UTF-8, only exactly: a character that the code page lacks
// makes the conversion fail, never a look-alike or a default character in its place.
std::string WideToMultiByte(const std::wstring& text, unsigned codePage);
std::string WideToAcp(const std::wstring& text);
std::string WideToUtf8(const std::wstring& text);
// The UTF-8 form only when it is exact, so that it names the same thing: false for a text
// with a lone surrogate, which WideToUtf8 turns into U+FFFD.
bool WideToUtf8Exact(const std::wstring& text, std::string& utf8);

// '*' matches any run of units (also none), '?' exactly one; there is no escape.
bool WildcardMatch(const std::wstring& text, const std::wstring& pattern, bool ignoreCase);
bool WildcardMatchRange(const wchar_t* textBegin, const wchar_t* textEnd,
                        const wchar_t* patternBegin, const wchar_t* patternEnd, bool ignoreCase);

bool StartsWith(const std::wstring& text, const std::wstring& prefix, bool ignoreCase);
bool EndsWith(const std::wstring& text, const std::wstring& suffix, bool ignoreCase);

// Exact, case-sensitive membership.
bool Contains(const StringList& list, const std::wstring& text);
std::wstring Join(const StringList& list, wchar_t separator);
// Empty pieces are kept: n separators give n + 1 pieces.
StringList Split(const std::wstring& text, wchar_t separator);
// Inserted text is never searched again; an empty search string changes nothing.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& search,
                        const std::wstring& replacement);

// Whether the bytes are well-formed UTF-8: every sequence complete and in its shortest form,
// no surrogate halves, nothing above U+10FFFF. The empty text is well-formed.
bool IsValidUtf8(const std::string& bytes);
// The bytes for a log line that a reader can trust: well-formed UTF-8 decoded, control
// characters (NUL, line breaks, DEL and the like) and bytes that are not well-formed UTF-8
// shown as \xNN; everything else as it is.
std::wstring EscapeForLog(const std::string& bytes);
