#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ProgramRunner.h"

// Reads log files back the way they were written: UTF-8 lines ending in CR LF, each
// "date time.ms [pid.tid] tag: text", with a blank line before each start of logging.
struct LogLine {
  std::string raw;          // the line without its CR LF
  bool blank = false;       // the empty line written before "LOGGING STARTED"
  bool wellFormed = false;  // matches the line format (and ended with CR LF)
  DWORD processId = 0;
  DWORD threadId = 0;
  std::string tag;   // "*F", "*E", ".W", " I", " D", " V" or two blanks
  std::string text;  // what follows "tag: ": the function prefix and the message
};

// Splits a log's bytes into lines; a last line without CR LF is returned as malformed.
std::vector<LogLine> ParseLogLines(const std::string& bytes);
// The lines of a log and its older generations, oldest first: name.2.log, name.1.log,
// name.log, from the given log directory.
std::vector<LogLine> ReadLogLines(const std::wstring& directory,
                                  const std::wstring& name = L"PurgeKit");
// The well-formed lines of one process.
std::vector<LogLine> LinesOfProcess(const std::vector<LogLine>& lines, DWORD processId);
// The index of the first line whose text contains the given text, or -1.
int IndexOf(const std::vector<LogLine>& lines, const std::string& text);
// Whether some line's text contains the given text.
bool HasLineContaining(const std::vector<LogLine>& lines, const std::string& text);
// How many lines' texts contain the given text.
int CountContaining(const std::vector<LogLine>& lines, const std::string& text);
// The lines as they were written, one per line, for failure messages.
std::string Dump(const std::vector<LogLine>& lines);

// One run of a program whose log lines are to be found afterwards by its process id.
struct LoggedRun {
  RunResult result;
  DWORD processId = 0;
};
LoggedRun RunForLog(const std::wstring& exe, const std::wstring& arguments,
                    RunOptions options = {});
