#include "LogReader.h"

#include "LogLineHeader.h"
#include "TestFiles.h"

std::vector<LogLine> ParseLogLines(const std::string& bytes) {
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    LogLine line;
    line.raw = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? bytes.size() : end + 2;
    if (end != std::string::npos) {
      if (line.raw.empty()) {
        line.blank = true;
      } else if (const auto header = ParseLogLineHeader(line.raw);
                 header && line.raw.size() >= header->length + 4 &&
                 line.raw.compare(header->length + 2, 2, ": ") == 0 &&
                 line.raw.find_first_of("\r\n", header->length) == std::string::npos) {
        // "tag: text", the tag being two characters.
        line.wellFormed = true;
        line.processId = header->processId;
        line.threadId = header->threadId;
        line.tag = line.raw.substr(header->length, 2);
        line.text = line.raw.substr(header->length + 4);
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<LogLine> ReadLogLines(const std::wstring& directory, const std::wstring& name) {
  std::vector<LogLine> all;
  for (const wchar_t* suffix : {L".2.log", L".1.log", L".log"}) {
    auto lines = ParseLogLines(ReadFileBytes(directory + L"\\" + name + suffix));
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

std::vector<LogLine> LinesOfProcess(const std::vector<LogLine>& lines, DWORD processId) {
  std::vector<LogLine> result;
  for (const auto& line : lines) {
    if (line.wellFormed && line.processId == processId) result.push_back(line);
  }
  return result;
}

int IndexOf(const std::vector<LogLine>& lines, const std::string& text) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].text.find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

bool HasLineContaining(const std::vector<LogLine>& lines, const std::string& text) {
  return IndexOf(lines, text) >= 0;
}

int CountContaining(const std::vector<LogLine>& lines, const std::string& text) {
  int count = 0;
  for (const LogLine& line : lines) {
    if (line.text.find(text) != std::string::npos) ++count;
  }
  return count;
}

std::string Dump(const std::vector<LogLine>& lines) {
  std::string all;
  for (const auto& line : lines) all += line.raw + "\n";
  return all;
}

namespace {
void RememberProcessId(HANDLE process, void* context) {
  *static_cast<DWORD*>(context) = ::GetProcessId(process);
}
}  // namespace

LoggedRun RunForLog(const std::wstring& exe, const std::wstring& arguments, RunOptions options) {
  LoggedRun run;
  options.onSuspended = RememberProcessId;
  options.context = &run.processId;
  run.result = RunProgram(exe, arguments, options);
  return run;
}
