#pragma once

#include <memory>
#include <string>
#include <vector>

// How an option takes its value.
enum OptionKind : int {
  ValueRequired = 0,
  ValueOptional = 1,
  Flag = 2,
};

// One registered option and what the command line said about it.
struct OptionRecord {
  std::wstring name;
  wchar_t shortName = 0;
  OptionKind kind = Flag;
  bool specified = false;
  std::wstring value;
};

// The process-wide command-line parser. The run registers its options, parses the command
// line once, and from then on every part of the program asks it for options and values.
//
// Grammar: tokens are separated by blanks (U+0020 only); double quotes group blanks into a
// token and are never part of it, a quote right after a closed quoted part adds a literal
// quote; there is no escape character. Options are spelled -x (short name, case-sensitive),
// --name (long name, any case) or /name=value (/x=value finds a short name first); the value
// of -x and --name is the next token that is not itself an option.
//
// Failures return false and leave a text for GetError; the parser neither logs nor prints.
class KvOptionParser {
 public:
  // Created on first use, destroyed at process exit.
  static KvOptionParser& Instance();

  KvOptionParser();
  virtual ~KvOptionParser();
  KvOptionParser(const KvOptionParser&) = delete;
  KvOptionParser& operator=(const KvOptionParser&) = delete;

  // False when the long name (any case) or the non-zero short name (exact) is taken.
  virtual bool AddOption(OptionKind kind, const std::wstring& name, wchar_t shortName);
  // The whole process command line; its first token (the program) is dropped.
  virtual bool ParseCommandLine(const wchar_t* commandLine);
  // argv style: entry 0 (the program) is dropped.
  virtual bool ParseArgv(int count, const wchar_t* const* args);
  virtual bool ParseArgs(const std::vector<std::wstring>& tokens);

  // Queries by long name (any case); an unknown name is not specified and has no value.
  virtual bool IsSpecified(const std::wstring& name) const;
  virtual bool HasValue(const std::wstring& name) const;
  virtual std::wstring GetValue(const std::wstring& name) const;
  // Leading white space, an optional sign, decimal digits up to the first other character;
  // no digits give 0, and values beyond the 32-bit range are clamped to it.
  virtual int GetIntValue(const std::wstring& name) const;
  virtual std::vector<std::wstring> GetPositionalArgs() const;
  virtual std::wstring GetError() const;

  // Forgets options, arguments, the error text and that a parse happened.
  virtual void Reset();

  // The tokenizer on its own. False when a quote was left open; the tokens found so far
  // stay in the list. A null text gives false and no tokens.
  static bool SplitCommandLine(const wchar_t* text, std::vector<std::wstring>& tokens);

 private:
  struct Data;

  OptionRecord* FindOption(const std::wstring& name) const;
  OptionRecord* FindShortOption(wchar_t shortName) const;
  bool ParseTokens(const std::vector<std::wstring>& tokens);
  bool ParseOption(const std::wstring& token, OptionRecord*& pending);
  void SetError(const wchar_t* format, ...);

  std::unique_ptr<Data> data_;
};
