// Which links the welcome page may hand to the desktop's shell.
#include <gtest/gtest.h>

#include <string>

#include "OpenUrl.h"
#include "StringUtils.h"

TEST(OpenUrl, AcceptsOnlyWebLinksAndLocalHtmlPages) {
  struct Case {
    std::wstring url;
    bool allowed;
  };
  const Case cases[] = {
      {L"https://legal.korvane.example/eula/latest/eula_enu.html", true},
      {L"http://legal.korvane.example/", true},
      {L"https://", true},
      {L"HTTPS://legal.korvane.example/", false},
      {L"Http://legal.korvane.example/", false},
      {L"file:///C:/Program%20Files/Korvane/eula.html", true},
      {L"file:///C:/eula.htm", true},
      {L"file:///C:/eula.HTML", false},
      {L"file:///C:/Windows/System32/cmd.exe", false},
      {L"file:///C:/eula.html.exe", false},
      {L"file://server/share/eula.html", false},
      {L"ftp://legal.korvane.example/eula.html", false},
      {L"mailto:legal@korvane.example", false},
      {L"C:\\Windows\\notepad.exe", false},
      {L"eula.html", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.url));
    EXPECT_EQ(IsAllowedUrl(c.url), c.allowed);
    // A refused link never reaches the shell.
    if (!c.allowed) {
      EXPECT_FALSE(OpenUrl(c.url));
    }
  }
}
