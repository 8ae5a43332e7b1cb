#include "LogCapture.h"

#include <windows.h>

#include <algorithm>
#include <regex>

#include "Log.h"
#include "LogConfiguration.h"
#include "TestFiles.h"

namespace {

constexpr wchar_t kDirectory[] = L"PurgeKitTests";

std::string ReadFileFrom(const std::wstring& path, size_t offset) {
  const std::string all = ReadFileBytes(path);
  return offset < all.size() ? all.substr(offset) : std::string();
}

}  // namespace

LogCapture::LogCapture(const std::wstring& name) {
  const std::wstring baseName = name + L"-" + std::to_wstring(::GetCurrentProcessId());
  KvTzkLogging::InitNsW(nullptr, kDirectory, baseName.c_str(), KvTzkLogging::LogVerbose, 0);
  path_ = KvTzkLogging::GetLogRoot(KvTzkLogging::AdminRoot) + L"\\Korvane\\Log\\" + kDirectory +
          L"\\" + baseName;
  Mark();
}

LogCapture::~LogCapture() {
  KvTzkLogging::End();
  for (const wchar_t* suffix : {L".log", L".1.log", L".2.log"}) {
    ::DeleteFileW((path_ + suffix).c_str());
  }
}

void LogCapture::Mark() {
  KvTzkLogging::Flush();
  mark_ += ReadFileFrom(path_ + L".log", mark_).size();
}

std::vector<std::string> LogCapture::Entries() {
  KvTzkLogging::Flush();
  const std::string text = ReadFileFrom(path_ + L".log", mark_);
  // Every entry starts with "yyyy-mm-dd hh:mm:ss.mmm [pid.tid] " at the start of a line.
  static const std::regex start(
      R"((^|\n)\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \[[0-9a-fA-F]+\.[0-9a-fA-F]+\] )");
  std::vector<std::string> entries;
  std::sregex_iterator it(text.begin(), text.end(), start);
  const std::sregex_iterator end;
  while (it != end) {
    const size_t bodyStart = it->position() + it->length();
    ++it;
    size_t bodyEnd = it != end ? static_cast<size_t>(it->position()) + 1 : text.size();
    std::string body = text.substr(bodyStart, bodyEnd - bodyStart);
    if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) {
      body.resize(body.size() - 2);
    }
    entries.push_back(body);
  }
  return entries;
}

bool LogCapture::Has(const std::string& entry) { return Count(entry) > 0; }

size_t LogCapture::Count(const std::string& entry) {
  const auto entries = Entries();
  return static_cast<size_t>(std::count(entries.begin(), entries.end(), entry));
}

std::string LogCapture::Dump() {
  std::string all;
  for (const auto& entry : Entries()) all += "  <" + entry + ">\n";
  return all;
}
