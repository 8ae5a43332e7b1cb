#include "LogCapture.h"

#include <windows.h>

#include <algorithm>

#include "Log.h"
#include "LogConfiguration.h"
#include "LogLineHeader.h"
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
  // Every entry starts with "yyyy-mm-dd hh:mm:ss.mmm [pid.tid] " at the start of a line; a
  // message with line breaks inside runs on to the next such start.
  std::vector<std::string> entries;
  auto headerAt = [&text](size_t pos) {
    return ParseLogLineHeader(std::string_view(text).substr(pos));
  };
  // The start of the line after `pos` that begins an entry, with its header.
  auto nextEntry = [&](size_t pos, std::optional<LogLineHeader>& header) {
    while ((pos = text.find('\n', pos)) != std::string::npos) {
      if ((header = headerAt(++pos))) return pos;
    }
    return text.size();
  };
  std::optional<LogLineHeader> header = headerAt(0);
  size_t start = header ? 0 : nextEntry(0, header);
  while (header) {
    const size_t bodyStart = start + header->length;
    header.reset();
    const size_t next = nextEntry(bodyStart, header);
    std::string body = text.substr(bodyStart, next - bodyStart);
    if (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) {
      body.resize(body.size() - 2);
    }
    entries.push_back(std::move(body));
    start = next;
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
