#include "LogReader.h"

#include <regex>

#include "UniqueAny.h"

std::string ReadFileBytes(const std::wstring& path) {
  const UniqueFileHandle file(::CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<LogLine> ParseLogLines(const std::string& bytes) {
  static const std::regex format(
      R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[([0-9a-f]{4,})\.([0-9a-f]{4,})\] (..): ([^\r\n]*)$)");
  std::vector<LogLine> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    LogLine line;
    line.raw = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? bytes.size() : end + 2;
    if (end != std::string::npos) {
      std::smatch match;
      if (line.raw.empty()) {
        line.blank = true;
      } else if (std::regex_match(line.raw, match, format)) {
        line.wellFormed = true;
        line.processId = std::stoul(match[1].str(), nullptr, 16);
        line.threadId = std::stoul(match[2].str(), nullptr, 16);
        line.tag = match[3].str();
        line.text = match[4].str();
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

bool HasLineContaining(const std::vector<LogLine>& lines, const std::string& text) {
  for (const auto& line : lines) {
    if (line.text.find(text) != std::string::npos) return true;
  }
  return false;
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
