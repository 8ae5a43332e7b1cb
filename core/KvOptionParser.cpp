#include "KvOptionParser.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <limits>

namespace {

constexpr size_t kErrorCapacity = 1024;

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

bool IsOptionToken(const std::wstring& token) {
  return !token.empty() && (token[0] == L'-' || token[0] == L'/');
}

}  // namespace

struct KvOptionParser::Data {
  std::vector<std::wstring> positional;
  std::wstring error;
  std::vector<OptionRecord> options;
  bool parsed = false;
};

KvOptionParser& KvOptionParser::Instance() {
  static KvOptionParser instance;
  return instance;
}

KvOptionParser::KvOptionParser() : data_(std::make_unique<Data>()) {}

KvOptionParser::~KvOptionParser() = default;

bool KvOptionParser::AddOption(OptionKind kind, const std::wstring& name, wchar_t shortName) {
  if (FindOption(name) != nullptr) return false;
  if (shortName != 0 && FindShortOption(shortName) != nullptr) return false;
  OptionRecord record;
  record.name = name;
  record.shortName = shortName;
  record.kind = kind;
  data_->options.push_back(std::move(record));
  return true;
}

bool KvOptionParser::SplitCommandLine(const wchar_t* text, std::vector<std::wstring>& tokens) {
  if (text == nullptr) return false;
  tokens.clear();
  bool inQuote = false;
  bool previousWasQuote = false;
  bool tokenStarted = false;
  std::wstring token;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    const wchar_t c = *p;
    if (c == L'"') {
      // A quote that directly follows the one that closed a quoted part stands for itself.
      if (previousWasQuote && !inQuote) token += L'"';
      tokenStarted = true;
      inQuote = !inQuote;
      previousWasQuote = true;
      continue;
    }
    previousWasQuote = false;
    if (c == L' ' && !inQuote) {
      if (tokenStarted) {
        tokens.push_back(std::move(token));
        token.clear();
        tokenStarted = false;
      }
      continue;
    }
    token += c;
    tokenStarted = true;
  }
  if (tokenStarted) tokens.push_back(std::move(token));
  return !inQuote;
}

bool KvOptionParser::ParseCommandLine(const wchar_t* commandLine) {
  std::vector<std::wstring> tokens;
  if (!SplitCommandLine(commandLine, tokens)) {
    if (!tokens.empty()) SetError(L"Mismatching quotes");
    return false;
  }
  if (tokens.empty()) return false;
  tokens.erase(tokens.begin());
  return ParseArgs(tokens);
}

bool KvOptionParser::ParseArgv(int count, const wchar_t* const* args) {
  if (count <= 0 || args == nullptr) return false;
  std::vector<std::wstring> tokens;
  for (int i = 1; i < count; ++i) tokens.emplace_back(args[i] != nullptr ? args[i] : L"");
  return ParseArgs(tokens);
}

bool KvOptionParser::ParseArgs(const std::vector<std::wstring>& tokens) {
  return ParseTokens(tokens);
}

bool KvOptionParser::ParseTokens(const std::vector<std::wstring>& tokens) {
  if (data_->parsed) {
    SetError(L"Already parsed");
    return false;
  }
  OptionRecord* pending = nullptr;
  for (const std::wstring& token : tokens) {
    if (IsOptionToken(token)) {
      if (pending != nullptr && pending->kind == ValueRequired) {
        SetError(L"Option '%s' requires a value", pending->name.c_str());
        return false;
      }
      pending = nullptr;
      if (!ParseOption(token, pending)) return false;
    } else if (pending != nullptr) {
      pending->value = token;
      pending = nullptr;
    } else {
      data_->positional.push_back(token);
    }
  }
  if (pending != nullptr && pending->kind == ValueRequired) {
    SetError(L"Option '%s' requires a value", pending->name.c_str());
    return false;
  }
  data_->parsed = true;
  return true;
}

bool KvOptionParser::ParseOption(const std::wstring& token, OptionRecord*& pending) {
  if (token.size() == 1) return false;

  OptionRecord* option = nullptr;
  if (token[0] == L'-') {
    if (token.size() == 2) {
      if (token[1] != L'-') option = FindShortOption(token[1]);
    } else if (token[1] == L'-') {
      option = FindOption(token.substr(2));
    }
  } else {
    // /name or /name=value; further '=' belong to the value.
    const size_t equals = token.find(L'=', 1);
    const std::wstring name =
        token.substr(1, equals == std::wstring::npos ? std::wstring::npos : equals - 1);
    const std::wstring value = equals == std::wstring::npos ? L"" : token.substr(equals + 1);
    if (name.size() == 1) option = FindShortOption(name[0]);
    if (option == nullptr) option = FindOption(name);
    if (option != nullptr) {
      if (option->kind == Flag && !value.empty()) {
        SetError(L"Option '%s' has no value", option->name.c_str());
        return false;
      }
      if (option->kind == ValueRequired && value.empty()) {
        SetError(L"Option '%s' requires a value", option->name.c_str());
        return false;
      }
      if (option->specified) {
        SetError(L"Option '%s' specified twice", option->name.c_str());
        return false;
      }
      option->value = value;
    }
  }

  if (option == nullptr) {
    SetError(L"Unknown option: %s", token.c_str());
    return false;
  }
  if (option->specified) {
    SetError(L"Option '%s' specified twice", option->name.c_str());
    return false;
  }
  if (option->kind != Flag && option->value.empty()) pending = option;
  option->specified = true;
  return true;
}

OptionRecord* KvOptionParser::FindOption(const std::wstring& name) const {
  for (OptionRecord& option : data_->options) {
    if (EqualsIgnoringCase(option.name, name)) return &option;
  }
  return nullptr;
}

OptionRecord* KvOptionParser::FindShortOption(wchar_t shortName) const {
  if (shortName == 0) return nullptr;
  for (OptionRecord& option : data_->options) {
    if (option.shortName == shortName) return &option;
  }
  return nullptr;
}

bool KvOptionParser::IsSpecified(const std::wstring& name) const {
  const OptionRecord* option = FindOption(name);
  return option != nullptr && option->specified;
}

bool KvOptionParser::HasValue(const std::wstring& name) const {
  const OptionRecord* option = FindOption(name);
  return option != nullptr && !option->value.empty();
}

std::wstring KvOptionParser::GetValue(const std::wstring& name) const {
  const OptionRecord* option = FindOption(name);
  return option != nullptr ? option->value : std::wstring();
}

int KvOptionParser::GetIntValue(const std::wstring& name) const {
  const std::wstring value = GetValue(name);
  size_t i = 0;
  while (i < value.size() && std::iswspace(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) negative = value[i++] == L'-';
  // Accumulated as a magnitude that stops growing just past the 32-bit range.
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  long long magnitude = 0;
  for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
    magnitude = magnitude * 10 + (value[i] - L'0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<int>(-magnitude);
  return magnitude >= kLimit ? std::numeric_limits<int>::max() : static_cast<int>(magnitude);
}

std::vector<std::wstring> KvOptionParser::GetPositionalArgs() const { return data_->positional; }

std::wstring KvOptionParser::GetError() const { return data_->error; }

void KvOptionParser::Reset() { *data_ = Data(); }

void KvOptionParser::SetError(const wchar_t* format, ...) {
  wchar_t buffer[kErrorCapacity];
  buffer[0] = L'\0';
  buffer[kErrorCapacity - 1] = L'\0';
  va_list args;
  va_start(args, format);
  // The runtime's own formatter: "%s" takes a wide string. When the text does not fit it
  // fills the buffer and answers -1; the text is then kept cut to the buffer (an unknown
  // option of some thousand characters still shows how it began). Any other failure
  // leaves the previous text.
  const int length = ::_vsnwprintf(buffer, kErrorCapacity - 1, format, args);
  va_end(args);
  if (length >= 0) {
    data_->error.assign(buffer, static_cast<size_t>(length));
  } else if (::wcslen(buffer) == kErrorCapacity - 1) {
    data_->error.assign(buffer, kErrorCapacity - 1);
  }
}
