// The wizard of the real PurgeKit64.exe under Wine on the test display, driven like a user
// does: real pointer and keyboard input (SendInput) on the real windows. The state of the
// controls is read with messages that carry no pointers; screenshots of each page are saved
// in the build tree's artefacts folder (wizard-<language>-<page>.png).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ResourceIds.h"
#include "ScratchFolder.h"
#include "ScreenCapture.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"
#include "UserInput.h"

namespace {

constexpr DWORD kPageTimeoutMs = 30000;

std::wstring ScriptsOption(const std::wstring& fixture) {
  return L"--scripts \"" + FixturePath(fixture) + L"\"";
}

// One run of the program in a thread of its own, while the test looks at its window.
class Wizard {
 public:
  explicit Wizard(const std::wstring& arguments, bool withoutAdministrators = false)
      : flagFolder_(L"wizard") {
    flag_ = flagFolder_ / L"flag.txt";
    // The slow fixture script waits for this file (the child inherits the environment).
    ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FLAG", flag_.c_str());
    runner_ = std::thread([this, arguments, withoutAdministrators] {
      RunOptions options;
      options.timeoutMs = 180000;
      options.withoutAdministrators = withoutAdministrators;
      options.context = this;
      options.onSuspended = [](HANDLE process, void* context) {
        static_cast<Wizard*>(context)->processId_ = ::GetProcessId(process);
      };
      result_ = RunProgram(PurgeKit64Path(), arguments, options);
      ended_ = true;
    });
  }

  ~Wizard() {
    if (!ended_) {
      UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, processId_));
      if (process) ::TerminateProcess(process.get(), 255);
    }
    if (runner_.joinable()) runner_.join();
  }

  // The exit code; fails the test when the program does not end in time.
  DWORD WaitForExit(DWORD timeoutMs = 60000) {
    const DWORD start = ::GetTickCount();
    while (!ended_ && ::GetTickCount() - start < timeoutMs) ::Sleep(50);
    EXPECT_TRUE(ended_) << "the program did not end";
    if (ended_ && runner_.joinable()) runner_.join();
    lines_ = LinesOfProcess(ReadLogLines(logRoot_.Directory()), processId_);
    return ended_ ? result_.exitCode : 255;
  }

  bool Ended() const { return ended_; }
  const RunResult& Result() const { return result_; }
  const std::vector<LogLine>& Lines() const { return lines_; }
  bool Logged(const std::string& text) const { return IndexOf(lines_, text) >= 0; }

  // The visible main window of the program, or null.
  HWND Main() const {
    struct Search {
      DWORD pid;
      HWND found;
    } search{processId_, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD pid = 0;
          ::GetWindowThreadProcessId(window, &pid);
          if (pid == s->pid && ::IsWindowVisible(window)) {
            s->found = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // The visible page that holds the control, or null.
  HWND PageWith(int controlId) const {
    const HWND main = Main();
    if (main == nullptr) return nullptr;
    for (HWND child = ::GetWindow(main, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (::IsWindowVisible(child) && ::GetDlgItem(child, controlId)) return child;
    }
    return nullptr;
  }

  // Waits until that page shows and has painted.
  HWND WaitForPage(int controlId) {
    const DWORD start = ::GetTickCount();
    HWND page = nullptr;
    while ((page = PageWith(controlId)) == nullptr && !ended_ &&
           ::GetTickCount() - start < kPageTimeoutMs) {
      ::Sleep(50);
    }
    EXPECT_NE(page, nullptr) << "page with control " << controlId << " not shown";
    if (page == nullptr) {
      SavePng(CaptureScreen(
                  RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)}),
              ArtefactPath(L"wizard-failure-" + std::to_wstring(controlId) + L".png"));
    }
    ::Sleep(400);
    return page;
  }

  HWND Item(HWND page, int id) const { return ::GetDlgItem(page, id); }
  // As a user does: onto the place, a moment's pause, then the click. (Without the pause,
  // the first click after another program's keyboard use was sometimes lost under Wine.)
  void ClickPoint(POINT target) {
    MovePointer(target);
    ::Sleep(300);
    ClickAt(target);
  }
  void Click(HWND page, int id) {
    ClickPoint(CentreOf(Item(page, id)));
    ::Sleep(300);
  }
  void Shot(const std::wstring& name) {
    EXPECT_TRUE(SavePng(CaptureWindow(Main()), ArtefactPath(L"wizard-" + name + L".png")));
  }
  // What the caption's close button and Alt+F4 send. (Alt+F4 given with SendInput left
  // Wine's input state so that the next program's first clicks were lost.)
  void CloseWindow() { ::PostMessageW(Main(), WM_SYSCOMMAND, SC_CLOSE, 0); }
  // Ends the slow script's removal: "done" or "reboot".
  // Written aside and renamed, so that the script never reads half of it.
  void Finish(const std::string& how) {
    const std::wstring aside = flagFolder_.Write(L"flag.new", how);
    EXPECT_TRUE(::MoveFileW(aside.c_str(), flag_.c_str()));
  }

 private:
  ScopedLogRoot logRoot_;
  ScratchFolder flagFolder_;
  std::wstring flag_;
  std::atomic<DWORD> processId_{0};
  std::atomic<bool> ended_{false};
  RunResult result_;
  std::vector<LogLine> lines_;
  std::thread runner_;
};

// Input reaches the program's thread a little later: waits up to 5 s for the condition.
template <typename Condition>
bool Eventually(Condition condition) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start > 5000) return false;
    ::Sleep(50);
  }
  return true;
}

UINT RowState(HWND list, int row) {
  return static_cast<UINT>(
      (::SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
      12);
}

bool Checked(HWND page, int id) {
  return ::SendMessageW(::GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Start on the welcome page, Next with "all" on the selection page.
void StartAndRemoveAll(Wizard& wizard) {
  const HWND welcome = wizard.WaitForPage(IDC_TITLE);
  ASSERT_NE(welcome, nullptr);
  wizard.Click(welcome, IDOK);
  const HWND select = wizard.WaitForPage(IDC_RADIO_ALL);
  ASSERT_NE(select, nullptr);
  wizard.Click(select, IDOK);
}

}  // namespace

TEST(Wizard, WelcomePageOpensTheLicenceLinkAndClosingTheWindowCancels) {
  Wizard wizard(L"--language en " + ScriptsOption(L"run\\done"));
  const HWND welcome = wizard.WaitForPage(IDC_TITLE);
  ASSERT_NE(welcome, nullptr);
  wizard.Shot(L"en-welcome");
  // The keyboard reaches the link: Tab from Start, then the space bar.
  PressKey(VK_TAB);
  PressKey(VK_SPACE);
  ::Sleep(1500);
  EXPECT_EQ(wizard.PageWith(IDC_TITLE), welcome) << "the welcome page stays";
  wizard.CloseWindow();
  EXPECT_EQ(wizard.WaitForExit(), 2u);
  const std::string url = "URL: https://legal.korvane.example/eula/latest/eula_enu.html";
  // Wine's desktop shell may or may not take the link; either outcome is logged with the URL.
  EXPECT_TRUE(wizard.Logged("DialogChild::LaunchUrl: Launched " + url) ||
              wizard.Logged("DialogChild::LaunchUrl: Failed to launch " + url))
      << Dump(wizard.Lines());
  EXPECT_FALSE(wizard.Logged("cleanup"));
}

// Esc cancels the wizard on the welcome page, which has no Cancel button, as on the
// selection page, whose Cancel button it presses: the run ends with 2 and removes nothing.
TEST(Wizard, EscOnTheWelcomeAndTheSelectionPageCancels) {
  struct Case {
    const char* page;
    bool startFirst;  // Start on the welcome page, then Esc on the selection page
    int shownControl;
  };
  const Case cases[] = {{"welcome", false, IDC_TITLE}, {"selection", true, IDC_RADIO_ALL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    Wizard wizard(L"--language en " + ScriptsOption(L"run\\done"));
    const HWND welcome = wizard.WaitForPage(IDC_TITLE);
    ASSERT_NE(welcome, nullptr);
    if (c.startFirst) wizard.Click(welcome, IDOK);
    ASSERT_NE(wizard.WaitForPage(c.shownControl), nullptr);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(wizard.WaitForExit(), 2u) << Dump(wizard.Lines());
    EXPECT_FALSE(wizard.Logged("Removing product")) << Dump(wizard.Lines());
  }
}

TEST(Wizard, SelectionPageOffersAllAndNextFollowsTheTicksAndCancelChangesNothing) {
  Wizard wizard(L"--language en " + ScriptsOption(L"run\\done"));
  const HWND welcome = wizard.WaitForPage(IDC_TITLE);
  ASSERT_NE(welcome, nullptr);
  wizard.Click(welcome, IDOK);
  const HWND select = wizard.WaitForPage(IDC_RADIO_ALL);
  ASSERT_NE(select, nullptr);
  // Nothing selected beforehand: "all", the list hidden, Next enabled.
  EXPECT_TRUE(Checked(select, IDC_RADIO_ALL));
  EXPECT_FALSE(::IsWindowVisible(wizard.Item(select, IDC_PRODUCT_LIST)));
  EXPECT_TRUE(::IsWindowEnabled(wizard.Item(select, IDOK)));
  wizard.Shot(L"en-select-all");

  // The second choice shows the list; Next only while a row is ticked.
  wizard.Click(select, IDC_RADIO_SELECT);
  const HWND list = wizard.Item(select, IDC_PRODUCT_LIST);
  EXPECT_TRUE(Eventually([&] { return ::IsWindowVisible(list) != FALSE; }));
  ASSERT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_FALSE(::IsWindowEnabled(wizard.Item(select, IDOK)));
  RECT listRect{};
  ::GetWindowRect(list, &listRect);
  wizard.ClickPoint({listRect.left + 80, listRect.top + 10});  // the first row's name
  const HWND next = wizard.Item(select, IDOK);
  PressKey(VK_SPACE);
  EXPECT_TRUE(Eventually([&] { return RowState(list, 0) == 2; }));
  EXPECT_TRUE(Eventually([&] { return ::IsWindowEnabled(next) != FALSE; }));
  PressKey(VK_SPACE);
  EXPECT_TRUE(Eventually([&] { return !::IsWindowEnabled(next); }));
  // "All" again enables Next whatever is ticked.
  wizard.Click(select, IDC_RADIO_ALL);
  EXPECT_TRUE(Eventually([&] { return ::IsWindowEnabled(next) != FALSE; }));

  wizard.Click(select, IDCANCEL);
  EXPECT_EQ(wizard.WaitForExit(), 2u);
  EXPECT_FALSE(wizard.Logged("cleanup")) << Dump(wizard.Lines());
}

TEST(Wizard, PreselectedProductsOpenTheListAndEnterRemovesWhatIsTicked) {
  Wizard wizard(L"--language en -p halcyra " + ScriptsOption(L"run\\done"));
  const HWND welcome = wizard.WaitForPage(IDC_TITLE);
  ASSERT_NE(welcome, nullptr);
  PressKey(VK_RETURN);  // Start is the default button
  const HWND select = wizard.WaitForPage(IDC_RADIO_ALL);
  ASSERT_NE(select, nullptr);
  const HWND list = wizard.Item(select, IDC_PRODUCT_LIST);
  EXPECT_TRUE(Checked(select, IDC_RADIO_SELECT));
  EXPECT_TRUE(::IsWindowVisible(list));
  // Rows in removal order: quarantine, halcyra (selected by the option), logs.
  EXPECT_EQ(RowState(list, 0), 1u);
  EXPECT_EQ(RowState(list, 1), 2u);
  EXPECT_EQ(RowState(list, 2), 1u);
  wizard.Shot(L"en-select-list");

  // Untick halcyra, tick logs, and press Enter: Next with the list's choice.
  RECT listRect{};
  ::GetWindowRect(list, &listRect);
  wizard.ClickPoint({listRect.left + 80, listRect.top + 10});
  PressKey(VK_DOWN);
  PressKey(VK_SPACE);
  PressKey(VK_DOWN);
  PressKey(VK_SPACE);
  EXPECT_TRUE(Eventually([&] { return RowState(list, 1) == 1 && RowState(list, 2) == 2; }));
  PressKey(VK_RETURN);

  const HWND message = wizard.WaitForPage(IDC_IMAGE);
  ASSERT_NE(message, nullptr);
  wizard.Click(message, IDCANCEL);
  EXPECT_EQ(wizard.WaitForExit(), 0u);
  EXPECT_TRUE(wizard.Logged("cleanup logs")) << Dump(wizard.Lines());
  EXPECT_FALSE(wizard.Logged("cleanup halcyra"));
  EXPECT_FALSE(wizard.Logged("cleanup quarantine"));
}

TEST(Wizard, EnterAndEscDuringRemovalChangeNothingAndTheRestartQuestionWaits) {
  Wizard wizard(L"--language en " + ScriptsOption(L"window\\slow"));
  StartAndRemoveAll(wizard);
  const HWND progress = wizard.WaitForPage(IDC_SPINNER);
  ASSERT_NE(progress, nullptr);
  EXPECT_TRUE(::IsWindowVisible(wizard.Item(progress, IDCANCEL)));
  EXPECT_FALSE(::IsWindowEnabled(wizard.Item(progress, IDCANCEL)));
  wizard.Shot(L"en-progress");
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  ::Sleep(500);
  EXPECT_EQ(wizard.PageWith(IDC_SPINNER), progress);

  wizard.Finish("reboot");
  const HWND message = wizard.WaitForPage(IDC_IMAGE);
  ASSERT_NE(message, nullptr);
  EXPECT_TRUE(::IsWindowVisible(wizard.Item(message, IDOK))) << "the Restart button";
  wizard.Shot(L"en-finished-reboot");
  // Nobody has answered yet: the question stays.
  ::Sleep(1500);
  EXPECT_FALSE(wizard.Ended());
  EXPECT_EQ(wizard.PageWith(IDC_IMAGE), message);
  wizard.Click(message, IDCANCEL);
  EXPECT_EQ(wizard.WaitForExit(), 99u);
  EXPECT_FALSE(wizard.Logged("Triggering reboot")) << Dump(wizard.Lines());
}

TEST(Wizard, ClosingTheWindowDuringRemovalLetsTheRunFinishWithoutAWindow) {
  Wizard wizard(L"--language en " + ScriptsOption(L"window\\slow"));
  StartAndRemoveAll(wizard);
  ASSERT_NE(wizard.WaitForPage(IDC_SPINNER), nullptr);
  wizard.CloseWindow();
  const DWORD start = ::GetTickCount();
  while (wizard.Main() != nullptr && ::GetTickCount() - start < 10000) ::Sleep(50);
  EXPECT_EQ(wizard.Main(), nullptr) << "the window is gone";
  EXPECT_FALSE(wizard.Ended()) << "the removal goes on";
  wizard.Finish("done");
  EXPECT_EQ(wizard.WaitForExit(), 0u);
  EXPECT_TRUE(wizard.Logged("cleanup slow ended: done")) << Dump(wizard.Lines());
}

TEST(Wizard, EachOutcomeShowsItsMessageAndEndsWithItsCode) {
  struct Case {
    const wchar_t* name;
    std::wstring fixture;
    bool restartOffered;
    DWORD code;
    std::vector<std::string> removed;
    bool withoutAdministrators = false;
  };
  const Case cases[] = {
      {L"finished", L"run\\done", false, 0, {"cleanup quarantine", "cleanup halcyra"}},
      {L"error", L"run\\failed", false, 1, {}},
      {L"reboot", L"run\\reboot", true, 99, {}},
      {L"error-privileges", L"run\\done", false, 3, {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    Wizard wizard(L"--language en " + ScriptsOption(c.fixture), c.withoutAdministrators);
    if (!c.withoutAdministrators) StartAndRemoveAll(wizard);
    const HWND message = wizard.WaitForPage(IDC_IMAGE);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(::IsWindowVisible(wizard.Item(message, IDOK)) != FALSE, c.restartOffered);
    wizard.Shot(std::wstring(L"en-") + c.name);
    wizard.Click(message, IDCANCEL);
    EXPECT_EQ(wizard.WaitForExit(), c.code);
    for (const auto& line : c.removed) EXPECT_TRUE(wizard.Logged(line)) << line;
    EXPECT_FALSE(wizard.Logged("cleanup logs"));
  }
}

TEST(Wizard, EveryPageInRussian) {
  Wizard wizard(L"--language ru " + ScriptsOption(L"window\\slow"));
  const HWND welcome = wizard.WaitForPage(IDC_TITLE);
  ASSERT_NE(welcome, nullptr);
  wizard.Shot(L"ru-welcome");
  wizard.Click(welcome, IDOK);
  const HWND select = wizard.WaitForPage(IDC_RADIO_ALL);
  ASSERT_NE(select, nullptr);
  wizard.Click(select, IDC_RADIO_SELECT);
  wizard.Shot(L"ru-select");
  wizard.Click(select, IDC_RADIO_ALL);
  wizard.Click(select, IDOK);
  ASSERT_NE(wizard.WaitForPage(IDC_SPINNER), nullptr);
  wizard.Shot(L"ru-progress");
  wizard.Finish("done");
  const HWND message = wizard.WaitForPage(IDC_IMAGE);
  ASSERT_NE(message, nullptr);
  wizard.Shot(L"ru-finished");
  wizard.Click(message, IDCANCEL);
  EXPECT_EQ(wizard.WaitForExit(), 0u);
}

TEST(Wizard, ConsoleAnswersOfWindowModeGoToStandardOutputWithoutAPage) {
  struct Case {
    std::wstring arguments;
    DWORD code;
    std::string outputStart;
  };
  const Case cases[] = {
      {L"--help " + ScriptsOption(L"run\\done"), 0, "Korvane PurgeKit optional parameters:\n"},
      {L"-p nothere " + ScriptsOption(L"run\\done"), 1, "Invalid products selected nothere\n"},
      {L"--bogus", 1, "Error in parameters: Unknown option: --bogus\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.arguments));
    Wizard wizard(L"--language en " + c.arguments);
    bool windowSeen = false;
    const DWORD start = ::GetTickCount();
    while (!wizard.Ended() && ::GetTickCount() - start < 30000) {
      windowSeen = windowSeen || wizard.Main() != nullptr;
      ::Sleep(20);
    }
    EXPECT_EQ(wizard.WaitForExit(), c.code);
    EXPECT_FALSE(windowSeen);
    EXPECT_EQ(wizard.Result().output.rfind(c.outputStart, 0), 0u) << wizard.Result().output;
  }
}
