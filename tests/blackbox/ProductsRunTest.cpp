// Silent runs of the real PurgeKit64.exe with its built-in script archive against simulated
// installations of the Korvane products (tests/simulation, from the product catalogue): what
// is detected, that nothing of a product is left, and that the look-alike items are not
// touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ProductCatalogue.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "SimulatedItem.h"
#include "SpecialFolders.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"

namespace {

// Every product of the archive, in priority order.
const std::vector<std::string> kProductIds = {"halcyra",    "tunlora",        "kzr",
                                              "vaultine",   "ptwsensor",      "featherlyn_av",
                                              "quarantine", "wbx_quarantine", "logs"};

const CatalogueProduct& Product(const std::string& id) {
  const CatalogueProduct* product = FindCatalogueProduct(TheProductCatalogue(), Utf8ToWide(id));
  if (product == nullptr) {
    ADD_FAILURE() << "no catalogue section for " << id;
    static const CatalogueProduct none;
    return none;
  }
  return *product;
}

struct SilentRun {
  DWORD exitCode = 0;
  std::vector<LogLine> lines;
};

SilentRun RunPurgeKit(const ScopedLogRoot& root, const std::wstring& options) {
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en " + options);
  EXPECT_TRUE(run.result.started);
  return {run.result.exitCode, LinesOfProcess(ReadLogLines(root.Directory()), run.processId)};
}

// The ids the scripts reported as detected; every other product must have said it was not.
std::vector<std::string> Detected(const SilentRun& run) {
  std::vector<std::string> detected;
  for (const auto& id : kProductIds) {
    const bool found = HasLineContaining(run.lines, "[lib_common.lua] " + id + " detected: ");
    EXPECT_TRUE(found || HasLineContaining(run.lines, "[lib_common.lua] " + id + " not detected"))
        << id << " gave no detection line\n"
        << Dump(run.lines);
    if (found) detected.push_back(id);
  }
  return detected;
}

std::string Describe(const CatalogueItem& item) { return WideToUtf8(DescribeItem(item)); }

// The items of some products made for one test, and removed again at its end whatever the
// run left; the pending file operations are put back as they were.
class Installation {
 public:
  void Add(const std::vector<CatalogueItem>& items, const std::wstring& serviceMode = L"normal") {
    for (const auto& item : items) {
      items_.push_back(item);
      EXPECT_TRUE(InstallItem(item, serviceMode)) << Describe(item);
    }
  }
  ~Installation() {
    for (auto item = items_.rbegin(); item != items_.rend(); ++item) RemoveItem(*item);
  }

 private:
  PendingOperationsGuard pending_;
  std::vector<CatalogueItem> items_;
};

void ExpectGone(const std::vector<CatalogueItem>& items, const std::string& when) {
  for (const auto& item : items) EXPECT_FALSE(ItemPresent(item)) << when << ": " << Describe(item);
}

// All of each item as it was made: a look-alike service with its key and every subkey.
void ExpectThere(const std::vector<CatalogueItem>& items, const std::string& when) {
  for (const auto& item : items) EXPECT_TRUE(ItemIntact(item)) << when << ": " << Describe(item);
}

TEST(ProductsRun, TheArchiveListsItsProductsAndDetectsNoneOnACleanMachine) {
  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --help --language en");
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u);
  std::string list;
  for (const auto& id : kProductIds) list += (list.empty() ? "" : "|") + id;
  EXPECT_NE(run.result.output.find(list + "."), std::string::npos) << run.result.output;
  const SilentRun logged{run.result.exitCode,
                         LinesOfProcess(ReadLogLines(root.Directory()), run.processId)};
  EXPECT_TRUE(Detected(logged).empty()) << Dump(logged.lines);
}

std::wstring AllIds() {
  std::wstring ids;
  for (const auto& id : kProductIds) ids += (ids.empty() ? L"" : L",") + Utf8ToWide(id);
  return ids;
}

// The items of one kind group of a product: what a half-done uninstallation leaves.
std::vector<CatalogueItem> ItemsOf(const CatalogueProduct& product,
                                   const std::vector<std::wstring>& kinds) {
  std::vector<CatalogueItem> items;
  for (const auto& item : product.footprint) {
    for (const auto& kind : kinds) {
      if (item.kind == kind) items.push_back(item);
    }
  }
  return items;
}

TEST(ProductsRun, TheWholeArchiveRunTwiceLeavesNothingAndFindsNothingTheSecondTime) {
  Installation installation;
  for (const auto& id : kProductIds) installation.Add(Product(id).footprint);
  ScopedLogRoot root;
  const SilentRun first = RunPurgeKit(root, L"--products " + AllIds());
  EXPECT_EQ(Detected(first).size(), kProductIds.size()) << Dump(first.lines);
  EXPECT_EQ(first.exitCode, 0u) << Dump(first.lines);
  for (const auto& id : kProductIds) ExpectGone(Product(id).footprint, "after the first run");

  const SilentRun second = RunPurgeKit(root, L"--products " + AllIds());
  EXPECT_EQ(second.exitCode, 0u) << Dump(second.lines);
  EXPECT_TRUE(Detected(second).empty()) << Dump(second.lines);
}

// Tunlora and Vaultine share the TQ13x network filter: removing Tunlora alone leaves all of
// Vaultine, the filter with it; removing Vaultine then takes the filter too.
TEST(ProductsRun, TheProductsOptionRemovesTheNamedProductAndLeavesTheOthers) {
  Installation installation;
  installation.Add(Product("tunlora").footprint);
  installation.Add(Product("vaultine").footprint);
  ScopedLogRoot root;

  const SilentRun first = RunPurgeKit(root, L"--products tunlora");
  EXPECT_EQ(first.exitCode, 0u) << Dump(first.lines);
  EXPECT_EQ(Detected(first), (std::vector<std::string>{"tunlora", "vaultine"}));
  EXPECT_EQ(IndexOf(first.lines, "Removing product: vaultine"), -1) << Dump(first.lines);
  ExpectGone(ItemsOf(Product("tunlora"), {L"msi", L"service", L"key64", L"pending"}),
             "tunlora removed");
  ExpectThere(Product("vaultine").footprint, "tunlora removed");

  const SilentRun second = RunPurgeKit(root, L"--products vaultine");
  EXPECT_EQ(second.exitCode, 0u) << Dump(second.lines);
  EXPECT_EQ(Detected(second), std::vector<std::string>{"vaultine"});
  ExpectGone(Product("tunlora").footprint, "vaultine removed");
  ExpectGone(Product("vaultine").footprint, "vaultine removed");
}

// An uninstallation that failed halfway: the files gone and the registration left, or the
// other way round. What is left is enough to find the product, and the run removes it.
TEST(ProductsRun, APartialInstallationIsDetectedAndRemoved) {
  struct Case {
    const char* id;
    std::vector<std::wstring> kinds;
  };
  const Case cases[] = {
      {"ptwsensor", {L"key64"}},                  // registration only
      {"vaultine", {L"file"}},                    // files only
      {"featherlyn_av", {L"key32", L"service"}},  // the SDK's key and a service
      {"halcyra", {L"atom", L"key64"}},           // keys without the installer package
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const std::vector<CatalogueItem> items = ItemsOf(Product(c.id), c.kinds);
    ASSERT_FALSE(items.empty());
    Installation installation;
    installation.Add(items);
    ScopedLogRoot root;
    const SilentRun run = RunPurgeKit(root, L"");
    EXPECT_EQ(run.exitCode, 0u) << Dump(run.lines);
    EXPECT_EQ(Detected(run), std::vector<std::string>{c.id}) << Dump(run.lines);
    ExpectGone(items, "after the run");
  }
}

// Ends the program once its log shows the line, after a further pause: a power cut in the
// middle of the product's removal.
struct Killer {
  const ScopedLogRoot* root;
  std::string line;
  DWORD pauseMs;
  std::thread thread;
  bool killed = false;
};

void KillWhenLogged(HANDLE process, void* context) {
  auto* killer = static_cast<Killer*>(context);
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return;
  }
  killer->thread = std::thread([killer, copy] {
    const UniqueHandle holder(copy);
    for (int i = 0; i < 600; ++i) {
      if (::WaitForSingleObject(copy, 50) == WAIT_OBJECT_0) return;
      std::string log;
      // Read sharing everything: the program has its log open.
      ReadFileBytes(killer->root->File(), log);
      if (log.find(killer->line) != std::string::npos) {
        ::Sleep(killer->pauseMs);
        killer->killed = ::TerminateProcess(copy, 1234) != FALSE;
        return;
      }
    }
  });
}

// The run is killed while it waits for KZR's service to stop (the service takes two seconds):
// the next run finds what is left, removes it, and is not refused as a second instance.
TEST(ProductsRun, ARunKilledInTheMiddleOfARemovalIsFinishedByTheNextRun) {
  const CatalogueProduct& kzr = Product("kzr");
  Installation installation;
  installation.Add(kzr.footprint, L"slowstop");
  ScopedLogRoot root;
  Killer killer{&root, "Removing product: kzr", 700, {}};
  RunOptions options;
  options.onSuspended = KillWhenLogged;
  options.context = &killer;
  const RunResult killed =
      RunProgram(PurgeKit64Path(), L"--silent --language en --products kzr", options);
  if (killer.thread.joinable()) killer.thread.join();
  ASSERT_TRUE(killer.killed) << Dump(ReadLogLines(root.Directory()));
  EXPECT_EQ(killed.exitCode, 1234u);
  bool left = false;
  for (const auto& item : kzr.footprint) left = left || ItemPresent(item);
  EXPECT_TRUE(left) << "the run was killed after it had removed everything";

  const SilentRun next = RunPurgeKit(root, L"--products kzr");
  EXPECT_EQ(next.exitCode, 0u) << Dump(next.lines);
  EXPECT_EQ(Detected(next), std::vector<std::string>{"kzr"}) << Dump(next.lines);
  ExpectGone(kzr.footprint, "after the next run");
}

// powershell.exe of the prefix where the scripts look for it (Sysnative, which is System32 for
// the 64-bit program), replaced for one test: by the stand-in of the tests (tests/programs),
// which records every start in a file of the test's own and exits with the given code, or by
// nothing at all. The prefix's own program is put back at the end. A test that died with the
// stand-in in place left the prefix's program beside it, under a name of its own, which the
// next holder takes as the original; and the stand-in without the record variable of a test
// does what Wine's program does (nothing, exit 0), so no other program is disturbed.
class PrefixPowerShell {
 public:
  struct Start {
    std::string command;    // the command line, exactly
    std::string directory;  // the current directory
    std::string script;     // "present", "missing" or "none": the file after -File
  };

  // No exit code: PowerShell is missing.
  explicit PrefixPowerShell(std::optional<int> standInExit) : records_(L"powershell") {
    if (!FileExists(original_)) {
      EXPECT_TRUE(::MoveFileExW(path_.c_str(), original_.c_str(), 0)) << ::GetLastError();
    } else {
      ::DeleteFileW(path_.c_str());  // a stand-in that an ended test left
    }
    if (!standInExit) return;
    // Copied beside it and renamed, so that nobody starts a half-written program.
    const std::wstring copy = path_ + L".new";
    EXPECT_TRUE(::CopyFileW(POWERSHELL_STANDIN_EXE, copy.c_str(), FALSE)) << ::GetLastError();
    EXPECT_TRUE(::MoveFileExW(copy.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING));
    record_ = records_ / L"starts.txt";
    ::SetEnvironmentVariableW(L"PURGEKIT_TEST_POWERSHELL_RECORD", record_.c_str());
    ::SetEnvironmentVariableW(L"PURGEKIT_TEST_POWERSHELL_EXIT",
                              std::to_wstring(*standInExit).c_str());
  }
  ~PrefixPowerShell() {
    ::SetEnvironmentVariableW(L"PURGEKIT_TEST_POWERSHELL_RECORD", nullptr);
    ::SetEnvironmentVariableW(L"PURGEKIT_TEST_POWERSHELL_EXIT", nullptr);
    EXPECT_TRUE(::MoveFileExW(original_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING))
        << "the prefix's powershell.exe is left as " << WideToUtf8(original_);
  }
  PrefixPowerShell(const PrefixPowerShell&) = delete;
  PrefixPowerShell& operator=(const PrefixPowerShell&) = delete;

  const std::wstring& Path() const { return path_; }
  // The stand-in's starts, in order.
  std::vector<Start> Starts() const {
    std::vector<Start> starts;
    std::string text;
    if (record_.empty() || !ReadFileBytes(record_, text)) return starts;
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find("\n\n", at);
      const std::string record = text.substr(at, end == std::string::npos ? end : end - at);
      at = end == std::string::npos ? text.size() : end + 2;
      Start start;
      for (size_t line = 0; line < record.size();) {
        const size_t next = std::min(record.find('\n', line), record.size());
        const std::string field = record.substr(line, next - line);
        for (auto [prefix, target] :
             {std::pair{"command ", &start.command}, std::pair{"directory ", &start.directory},
              std::pair{"script ", &start.script}}) {
          if (field.rfind(prefix, 0) == 0) *target = field.substr(std::strlen(prefix));
        }
        line = next + 1;
      }
      starts.push_back(start);
    }
    return starts;
  }

 private:
  const std::wstring path_ =
      ExpandCataloguePath(L"{System32}\\WindowsPowerShell\\v1.0\\powershell.exe");
  const std::wstring original_ = path_ + L".prefix-original";
  ScratchFolder records_;
  std::wstring record_;
};

// Where PowerShell is missing, the WBX scripts log that their PowerShell step failed and go
// on with the rest of the removal.
TEST(ProductsRun, AMissingPowerShellIsLoggedAndTheRemovalGoesOn) {
  const PrefixPowerShell missing(std::nullopt);
  ASSERT_FALSE(FileExists(missing.Path()));

  Installation installation;
  installation.Add(Product("wbx_quarantine").footprint);
  ScopedLogRoot root;
  const SilentRun run = RunPurgeKit(root, L"");
  EXPECT_EQ(run.exitCode, 0u) << Dump(run.lines);
  EXPECT_TRUE(
      HasLineContaining(run.lines, "[lib_common.lua] PowerShell step failed: wbx\\qolagent.ps1"))
      << Dump(run.lines);
  EXPECT_TRUE(HasLineContaining(
      run.lines,
      "[lib_common.lua] PowerShell step failed: wbx\\uninstall_self_signed_certificate.ps1"))
      << Dump(run.lines);
  ExpectGone(Product("wbx_quarantine").footprint, "after the run");
}

// Every PowerShell step of the archive, in removal order, starts PowerShell with exactly its
// command line: the program once, the options that skip the profile and the policy, the
// script of the work directory (there while it runs) and its arguments; no working directory
// of its own. A step whose PowerShell fails is logged, and the removal goes on.
TEST(ProductsRun, EveryPowerShellStepHasItsExactCommandLineAndAFailingOneIsLogged) {
  const std::wstring switches = L" -NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"";
  const std::wstring workDir = CombinePath(GetTempDirectoryPath(), L"kv*.tmp");
  const std::vector<std::pair<std::string, std::wstring>> steps = {
      {"wbx\\uninstall_self_signed_certificate.ps1", L"\" -Subject \"CN=Korvane Halcyra WBX\""},
      {"wbx\\qolagent.ps1", L"\" -Unregister"},
  };
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);

  for (const int exitCode : {0, 1}) {
    SCOPED_TRACE("PowerShell exits with " + std::to_string(exitCode));
    const PrefixPowerShell powershell(exitCode);
    Installation installation;
    installation.Add(Product("wbx_quarantine").footprint);
    installation.Add(ItemsOf(Product("halcyra"), {L"file"}));
    ScopedLogRoot root;
    const SilentRun run = RunPurgeKit(root, L"");
    EXPECT_EQ(run.exitCode, 0u) << Dump(run.lines);

    const std::vector<PrefixPowerShell::Start> starts = powershell.Starts();
    ASSERT_EQ(starts.size(), steps.size()) << Dump(run.lines);
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::wstring expected = L"\"" + powershell.Path() + L"\"" + switches + workDir + L"\\" +
                                    Utf8ToWide(steps[i].first) + steps[i].second;
      EXPECT_TRUE(WildcardMatch(Utf8ToWide(starts[i].command), expected, false))
          << starts[i].command << "\nexpected " << WideToUtf8(expected);
      EXPECT_EQ(starts[i].script, "present") << starts[i].command;
      EXPECT_EQ(starts[i].directory, WideToUtf8(current));
      EXPECT_EQ(HasLineContaining(run.lines,
                                  "[lib_common.lua] PowerShell step failed: " + steps[i].first),
                exitCode != 0)
          << Dump(run.lines);
    }
    ExpectGone(Product("wbx_quarantine").footprint, "after the run");
    ExpectGone(ItemsOf(Product("halcyra"), {L"file"}), "after the run");
  }
}

// Halcyra's filter device (manufacturer Korvane, hardware id ROOT\KVHLFLT) is found, and Wine
// cannot carry out its removal (its SetupDiSetClassInstallParamsW is a stub): the device stays,
// so Halcyra is not removed completely and the run ends with 1; the rest of Halcyra goes all
// the same. The look-alikes of the control block (the same hardware id from "korvane" and
// "Korvane Partner") are neither matched nor touched.
TEST(ProductsRun, ADeviceThatCouldNotBeRemovedFailsTheRunAndItsLookAlikesStay) {
  const CatalogueProduct& halcyra = Product("halcyra");
  const CatalogueItem device{L"device", {L"Korvane", L"ROOT\\KVHLFLT"}};
  Installation installation;
  installation.Add(halcyra.control);
  installation.Add(halcyra.footprint);
  installation.Add({device});
  // The device lines are debug lines.
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit", L"PurgeKit"), L"LogLevel");
  ASSERT_TRUE(level.SetDword(5));
  ScopedLogRoot root;

  const SilentRun run = RunPurgeKit(root, L"--products halcyra");
  EXPECT_EQ(run.exitCode, 1u) << Dump(run.lines);
  EXPECT_EQ(CountContaining(run.lines,
                            "Win32Driver::UninstallDriversWithManufacturerAndName: "
                            "Manufacturer match"),
            1)
      << Dump(run.lines);
  EXPECT_EQ(CountContaining(run.lines, "Found matching driver, dev id : '"), 1) << Dump(run.lines);
  EXPECT_TRUE(HasLineContaining(
      run.lines, "Lua::Win32Driver::UninstallDriver: Failed to invoke DIF_REMOVE : 13"))
      << Dump(run.lines);
  EXPECT_TRUE(HasLineContaining(run.lines, "halcyra could not be removed completely"))
      << Dump(run.lines);
  EXPECT_TRUE(ItemPresent(device));
  ExpectGone(halcyra.footprint, "after the run");
  ExpectThere(halcyra.control, "after the run");
}

// One product installed with its look-alikes: a silent run finds that product alone and
// removes all of it, and nothing else; a second run finds nothing. Held files (a running
// program's) go at the restart: the run asks for it (99) and schedules them; once they are
// no longer held the next run removes them.
class ProductRun : public testing::TestWithParam<std::string> {};

TEST_P(ProductRun, OnlyThatProductIsDetectedAndAllOfItRemoved) {
  const std::string& id = GetParam();
  const CatalogueProduct& product = Product(id);
  ASSERT_FALSE(product.footprint.empty());
  // The product logs are removed only when asked for.
  const std::wstring options = id == "logs" ? L"--products logs" : L"";

  Installation installation;
  installation.Add(product.control);
  installation.Add(product.footprint);
  std::vector<std::unique_ptr<HeldFile>> held;
  std::vector<CatalogueItem> heldItems, otherItems;
  for (const auto& item : product.footprint) {
    if (item.kind == L"held") {
      held.push_back(std::make_unique<HeldFile>(ExpandCataloguePath(item.arguments[0])));
      ASSERT_TRUE(held.back()->IsHeld()) << Describe(item);
      heldItems.push_back(item);
    } else {
      otherItems.push_back(item);
    }
  }
  ScopedLogRoot root;

  const SilentRun first = RunPurgeKit(root, options);
  EXPECT_EQ(Detected(first), std::vector<std::string>{id}) << Dump(first.lines);
  EXPECT_EQ(first.exitCode, held.empty() ? 0u : 99u) << Dump(first.lines);
  ExpectGone(otherItems, "after the first run");
  for (const auto& item : heldItems) {
    EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), ExpandCataloguePath(item.arguments[0])))
        << "not scheduled for the restart: " << Describe(item);
  }
  ExpectThere(product.control, "after the first run");

  held.clear();
  const SilentRun second = RunPurgeKit(root, options);
  EXPECT_EQ(second.exitCode, 0u) << Dump(second.lines);
  EXPECT_EQ(Detected(second),
            heldItems.empty() ? std::vector<std::string>{} : std::vector<std::string>{id})
      << Dump(second.lines);
  ExpectGone(product.footprint, "after the second run");
  ExpectThere(product.control, "after the second run");
}

INSTANTIATE_TEST_SUITE_P(Archive, ProductRun, testing::ValuesIn(kProductIds),
                         [](const auto& info) { return info.param; });

}  // namespace
