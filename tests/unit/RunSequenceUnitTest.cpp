// The parts of the run sequence that a black-box run can't reach under Wine: the restart
// (Wine has no reboot, so TriggerReboot is the seam) and the console manager's answers.
#include <gtest/gtest.h>

#include <memory>

#include "ExitCode.h"
#include "GuiSilent.h"
#include "KvOptionParser.h"
#include "TestProductConfig.h"
#include "UiTool.h"

namespace {

class ScriptedGui : public IGuiManager {
 public:
  int answer = kGuiConfirmed;
  std::vector<MessageKind> shown;

  bool Start() override { return true; }
  void Stop() override {}
  int ShowMessage(MessageKind kind) override {
    shown.push_back(kind);
    return answer;
  }
  int ShowWelcome() override { return answer; }
  int SelectProducts(ProductList&) override { return answer; }
  void ShowProgress() override {}
};

class RebootRecordingTool : public UiTool {
 public:
  using UiTool::UiTool;
  int reboots = 0;
  void TriggerReboot() override { ++reboots; }
};

TEST(UiToolFinish, OutcomeMessageRestartAndExitCode) {
  struct Case {
    RemovalResult result;
    int answer;
    int code;
    MessageKind message;
    int reboots;
  };
  const Case cases[] = {
      {RemovalResult::Removed, kGuiConfirmed, ExitSuccess, Finished, 0},
      {RemovalResult::RemovedRebootNeeded, kGuiConfirmed, ExitRebootNeeded, FinishedReboot, 1},
      {RemovalResult::RemovedRebootNeeded, kGuiCancelled, ExitRebootNeeded, FinishedReboot, 0},
      {RemovalResult::Failed, kGuiConfirmed, ExitError, ErrorGeneric, 0},
  };
  for (const auto& c : cases) {
    ScriptedGui gui;
    gui.answer = c.answer;
    RebootRecordingTool tool(&gui, nullptr, nullptr, nullptr);
    EXPECT_EQ(tool.Finish(c.result), c.code);
    ASSERT_EQ(gui.shown.size(), 1u);
    EXPECT_EQ(gui.shown[0], c.message);
    EXPECT_EQ(tool.reboots, c.reboots);
  }
}

// Parses a command line into the process-wide parser for one test.
class ParsedOptions {
 public:
  explicit ParsedOptions(const wchar_t* commandLine) {
    KvOptionParser::Instance().Reset();
    parsed = UiTool::ParseCommandLine(commandLine);
  }
  ~ParsedOptions() { KvOptionParser::Instance().Reset(); }
  bool parsed;
};

ProductList Products(std::initializer_list<const wchar_t*> ids) {
  ProductList list;
  for (const wchar_t* id : ids) list.push_back(std::make_shared<TestProductConfig>(id, L"", true));
  return list;
}

TEST(GuiSilent, SelectsEverythingButLogsUnlessProductsWereNamed) {
  {
    ParsedOptions options(L"x.exe --silent");
    ASSERT_TRUE(options.parsed);
    ProductList list = Products({L"halcyra", L"logs", L"Logs", L"logs2"});
    GuiSilent gui;
    EXPECT_EQ(gui.SelectProducts(list), kGuiConfirmed);
    EXPECT_TRUE(list[0]->IsSelected());
    EXPECT_FALSE(list[1]->IsSelected());
    EXPECT_TRUE(list[2]->IsSelected());
    EXPECT_TRUE(list[3]->IsSelected());
    ProductList empty;
    EXPECT_EQ(gui.SelectProducts(empty), kGuiConfirmed);
  }
  {
    ParsedOptions options(L"x.exe --silent --products logs");
    ASSERT_TRUE(options.parsed);
    ProductList list = Products({L"halcyra", L"logs"});
    list[1]->SetSelected(true);  // what the command-line check did
    GuiSilent gui;
    EXPECT_EQ(gui.SelectProducts(list), kGuiConfirmed);
    EXPECT_FALSE(list[0]->IsSelected());
    EXPECT_TRUE(list[1]->IsSelected());
  }
}

TEST(GuiSilent, RestartAnswerFollowsTheRestartOption) {
  {
    ParsedOptions options(L"x.exe -s");
    GuiSilent gui;
    EXPECT_EQ(gui.ShowMessage(Finished), kGuiCancelled);
    EXPECT_EQ(gui.ShowMessage(FinishedReboot), kGuiCancelled);
    EXPECT_EQ(gui.ShowMessage(static_cast<MessageKind>(7)), kGuiCancelled);
  }
  {
    ParsedOptions options(L"x.exe -s -r");
    GuiSilent gui;
    EXPECT_EQ(gui.ShowMessage(FinishedReboot), kGuiConfirmed);
  }
}

}  // namespace
