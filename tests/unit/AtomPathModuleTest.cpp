// The Atom table on the real global atom table, and Path.RemoveFromPendingOperation on a
// PendingFileRenameOperations value written by Wine itself (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT). The value is machine-wide: it is put back as it was after
// every test (the machine lock keeps other tests away meanwhile).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "LogCapture.h"
#include "LogRegistry.h"
#include "ModuleChunk.h"
#include "StringUtils.h"

namespace {

LogCapture& TestLog() {
  static LogCapture capture(L"unit_atompath");
  return capture;
}

// A Lua long-bracket literal of the UTF-8 text.
std::string Literal(const std::wstring& text) { return "[==[" + WideToUtf8(text) + "]==]"; }

// Every result of one call as "count:first,second".
std::string Results(const std::string& call) {
  return RunLua("local r = table.pack(" + call +
                ") local s = {} for i = 1, r.n do s[i] = tostring(r[i]) end "
                "return r.n .. ':' .. table.concat(s, ',')");
}

TEST(AtomModule, AddTwiceExistsDeleteTwice) {
  const std::string name =
      Literal(L"PurgeKit test atom " + std::to_wstring(::GetCurrentProcessId()));
  EXPECT_EQ(Results("Atom.GlobalExists(" + name + ")"), "1:false");
  // A name that is already there is counted once more.
  EXPECT_EQ(Results("Atom.GlobalAdd(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalAdd(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalExists(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalDelete(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalExists(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalDelete(" + name + ")"), "1:true");
  EXPECT_EQ(Results("Atom.GlobalExists(" + name + ")"), "1:false");
  // Not in the table: the single value false.
  EXPECT_EQ(Results("Atom.GlobalDelete(" + name + ")"), "1:false");
}

TEST(AtomModule, FailuresAndArguments) {
  // Atom names are at most 255 characters: the Windows error comes second.
  EXPECT_EQ(Results("Atom.GlobalAdd(string.rep('x', 300))"), "2:false,87");
  EXPECT_EQ(Results("Atom.GlobalExists(12345)"), "1:false");
  EXPECT_EQ(RunLua("return Atom.GlobalAdd({})"),
            "error: [string \"return Atom.GlobalAdd({})\"]:1: bad argument #1 to 'GlobalAdd' "
            "(string expected, got table)");
}

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";
constexpr char kSetValueLine[] =
    " I: ::Win32RegistryForTools::SetValueRaw: Set value 'PendingFileRenameOperations' on "
    "'SYSTEM\\CurrentControlSet\\Control\\Session Manager'";

// The value as stored: its bytes as UTF-16 units, or "<none>" when it can't be read.
std::wstring StoredValue() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return L"<none>";
  }
  DWORD type = 0;
  DWORD size = 0;
  std::wstring text = L"<none>";
  if (::RegQueryValueExW(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> bytes(size + 2);
    if (::RegQueryValueExW(key, kPending, nullptr, &type, bytes.data(), &size) == ERROR_SUCCESS) {
      text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), size / sizeof(wchar_t));
    }
  }
  ::RegCloseKey(key);
  return text;
}

class PathModule : public testing::Test {
 protected:
  void SetUp() override {
    TestLog().Mark();
    ASSERT_TRUE(pending_.Remove());
    // Wine writes the value the way Windows does: "\??\" source, target, each ended by a
    // NUL, and one more NUL at the end.
    for (const auto& [source, target] : kOperations) {
      ASSERT_TRUE(::MoveFileExW(source, target, MOVEFILE_DELAY_UNTIL_REBOOT)) << ::GetLastError();
    }
    written_ = StoredValue();
  }

  static constexpr std::pair<const wchar_t*, const wchar_t*> kOperations[] = {
      {L"C:\\KvPending\\App\\x.dll", nullptr},
      {L"C:\\KvPending\\Application\\x", nullptr},
      {L"C:\\KvPending\\App\\sub\\y.dll", L"C:\\KvPending\\Moved\\y.dll"},
  };
  static std::wstring Entry(const wchar_t* source, const wchar_t* target) {
    return std::wstring(L"\\??\\") + source + L'\0' +
           (target ? std::wstring(L"\\??\\") + target : std::wstring()) + L'\0';
  }

  ScopedRegValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, kPending, KEY_WOW64_64KEY};
  std::wstring written_;
};

TEST_F(PathModule, RemovesThePairsUnderThePrefix) {
  const std::wstring x = Entry(L"C:\\KvPending\\App\\x.dll", nullptr);
  const std::wstring application = Entry(L"C:\\KvPending\\Application\\x", nullptr);
  const std::wstring y = Entry(L"C:\\KvPending\\App\\sub\\y.dll", L"C:\\KvPending\\Moved\\y.dll");
  ASSERT_EQ(written_, x + application + y + L'\0') << "Wine wrote the value differently";

  struct Case {
    const wchar_t* prefix;
    std::string results;
    std::wstring value;  // afterwards
  };
  const Case cases[] = {
      // Case matters, and nothing is written when nothing was removed.
      {L"c:\\kvpending\\app", "1:0", written_},
      // Inside the path, not at its start or after the marker: not under it.
      {L"KvPending\\App", "1:0", written_},
      // C:\App is not C:\Application.
      {L"C:\\KvPending\\App", "1:2", application + L'\0'},
      {L"C:\\KvPending\\App\\", "1:2", application + L'\0'},
      // With the marker, and a whole path.
      {L"\\??\\C:\\KvPending\\App\\x.dll", "1:1", application + y + L'\0'},
      // Every pair gone: the terminating NULs stay, as one.
      {L"C:\\KvPending", "1:3", std::wstring(1, L'\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.prefix)));
    ASSERT_TRUE(pending_.SetRaw(REG_MULTI_SZ, written_.data(),
                                static_cast<DWORD>(written_.size() * sizeof(wchar_t))));
    TestLog().Mark();
    EXPECT_EQ(Results("Path.RemoveFromPendingOperation(" + Literal(c.prefix) + ")"), c.results);
    EXPECT_EQ(StoredValue(), c.value);
    EXPECT_TRUE(TestLog().Has(" D: Lua::Path::RemoveFromPendingOperation: Got prefix to remove: '" +
                              WideToUtf8(c.prefix) + "'"))
        << TestLog().Dump();
    // Written back only when something was removed.
    EXPECT_EQ(TestLog().Has(kSetValueLine), c.results != "1:0") << TestLog().Dump();
  }
  EXPECT_TRUE(
      TestLog().Has(" D: ::RemoveByPrefix: Removing path from PendingOperation "
                    "'\\??\\C:\\KvPending\\App\\x.dll'->''"))
      << TestLog().Dump();
  // What is left after everything was removed reads as no operation at all.
  EXPECT_EQ(Results("Path.RemoveFromPendingOperation([[C:\\KvPending]])"), "1:0");
}

TEST_F(PathModule, AnEmptyPrefixIsRefusedAndTheValueKept) {
  // No result, as for a value that can't be read: scripts compare a count or test for nil.
  EXPECT_EQ(Results("Path.RemoveFromPendingOperation('')"), "0:");
  EXPECT_EQ(StoredValue(), written_);
  EXPECT_TRUE(
      TestLog().Has("*E: Lua::Path::RemoveFromPendingOperation: Refused argument 1 '': "
                    "an empty prefix would remove every pending file operation"))
      << TestLog().Dump();
}

TEST_F(PathModule, ValuesThatDoNotPairUpAreLeftAlone) {
  struct Case {
    const char* what;
    std::wstring stored;
  };
  const Case cases[] = {
      // One pair without the final NUL: three strings.
      {"odd number of strings", std::wstring(L"\\??\\C:\\KvPending\\App\\x.dll") + L'\0' + L'\0'},
      {"no data", std::wstring()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(pending_.SetRaw(REG_MULTI_SZ, c.stored.data(),
                                static_cast<DWORD>(c.stored.size() * sizeof(wchar_t))));
    EXPECT_EQ(Results("Path.RemoveFromPendingOperation([[C:\\KvPending\\App]])"), "0:");
    EXPECT_EQ(StoredValue(), c.stored);
  }

  ASSERT_TRUE(pending_.Remove());
  EXPECT_EQ(Results("Path.RemoveFromPendingOperation([[C:\\KvPending\\App]])"), "0:");
  EXPECT_EQ(StoredValue(), L"<none>");
  EXPECT_TRUE(
      TestLog().Has(" D: ::GetAllPendingPairs: Error reading "
                    "'PendingFileRenameOperations'. Error 2"))
      << TestLog().Dump();
}

}  // namespace
