// Chooses the language the way a run does, in a process of its own, so that a test can start
// it with the display language it wants. Under Wine a process takes its display language
// from LANG and LC_ALL of its Unix environment when it starts (a Windows environment block
// handed to CreateProcessW does not reach it), so the cases are CTest tests with their own
// environment (tests/TextTests.cmake).
//
//   language_probe.exe --texts <program> --expect <language> [--expect-display <ll-CC>]
//                      [--language <id>]
//
// It reads the text resources of <program>, registers the `language` option as the program
// does, selects the default language and prints
//   display=<ISO 639>-<ISO 3166> chosen=<language> selected=<Settings' selection>
// Exit code 0 when the choice is the expected one, 1 when it is not, 2 on a usage error.
#include <windows.h>

#include <string>

#include "KvOptionParser.h"
#include "LanguageSelect.h"
#include "Settings.h"
#include "StringUtils.h"
#include "UniqueAny.h"

namespace {

void Print(const std::wstring& text) {
  const std::string bytes = WideToUtf8(text + L"\n");
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

}  // namespace

int wmain() {
  KvOptionParser& parser = KvOptionParser::Instance();
  parser.AddOption(ValueRequired, L"language", L'l');
  parser.AddOption(ValueRequired, L"texts", 0);
  parser.AddOption(ValueRequired, L"expect", 0);
  parser.AddOption(ValueRequired, L"expect-display", 0);
  if (!parser.ParseCommandLine(::GetCommandLineW()) || !parser.HasValue(L"texts") ||
      !parser.HasValue(L"expect")) {
    Print(L"usage error: " + parser.GetError());
    return 2;
  }
  UniqueModule program(
      ::LoadLibraryExW(parser.GetValue(L"texts").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!program || !Settings::Instance().Load(Localizations, program.get(), 101) ||
      !Settings::Instance().Load(Customizations, program.get(), 102)) {
    Print(L"usage error: no texts in " + parser.GetValue(L"texts"));
    return 2;
  }

  LanguageSelect select;
  const bool chosen = select.SelectDefaultLanguage();
  const LANGID id = GetUserUiLanguage();
  const std::wstring display = GetLocaleLanguageName(id) + L"-" + GetLocaleCountryName(id);
  const std::wstring selected = Settings::Instance().GetSelectedLanguage();
  Print(L"display=" + display + L" chosen=" + select.GetLanguage() + L" selected=" + selected);

  const std::wstring expected = parser.GetValue(L"expect");
  const bool displayAsExpected =
      !parser.HasValue(L"expect-display") || parser.GetValue(L"expect-display") == display;
  return chosen && displayAsExpected && select.GetLanguage() == expected && selected == expected
             ? 0
             : 1;
}
