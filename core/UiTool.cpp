#include "UiTool.h"

#include <memory>

#include "AdminCheck.h"
#include "Console.h"
#include "ExitCode.h"
#include "KvOptionParser.h"
#include "KvPrivilege.h"
#include "LanguageSelect.h"
#include "Log.h"
#include "PathUtils.h"
#include "SecurityAttributes.h"
#include "Settings.h"
#include "SpecialFolders.h"
#include "StringUtils.h"
#include "TestProductConfig.h"
#include "ZipDropper.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kHelpFormat[] =
    L"Korvane PurgeKit optional parameters:\n"
    L"\t--help|-h                    shows this help.\n"
    L"\t--silent|-s                  silent mode, runs without GUI.\n"
    L"\t--restart|-r                 restarts the computer if needed for silent mode.\n"
    L"\t--products|-p <product_ids>  comma separated list of products to remove, where "
    L"<product_id> can be one of the following:\n"
    L"\t                             %s.\n"
    L"\t--language|-l <lang_id>      language to use, where <lang_id> can be one of the "
    L"following (automatically detected from the environment if not specified):\n"
    L"\t                             %s.\n";

constexpr DWORD kTestUiWaitMs = 2000;

}  // namespace

int UiTool::Run() {
  int code = ExitSuccess;
  if (!Initialize(&code)) return code;
  if (RunNative(&code)) return code;

  UiToolLib lib(workDir_);
  ProductList products;
  lib.DetectProducts(products);
  if (products.empty()) {
    gui_->ShowMessage(ErrorGeneric);
    return ExitError;
  }
  KvOptionParser& options = KvOptionParser::Instance();
  if (options.IsSpecified(L"help")) {
    ShowHelp(products);
    return ExitSuccess;
  }
  if (!cmdLine_->ValidateProducts(products)) return ExitError;
  if (gui_->ShowWelcome() != kGuiConfirmed) return ExitCancelled;
  if (gui_->SelectProducts(products) != kGuiConfirmed) return ExitCancelled;
  gui_->ShowProgress();
  return Finish(lib.RemoveProducts(products));
}

bool UiTool::Initialize(int* code) {
  if (!languageSelect_->SelectDefaultLanguage()) {
    *code = ExitError;
    return false;
  }
  return CheckDebugCommands(code) && CheckPrivileges(code) && CreateWorkDir(code);
}

void UiTool::CleanUp() {
  if (removeWorkDir_ && IsDirectory(workDir_)) {
    LogFuncW(LogDebug, "UiTool::CleanUp", L"Removing '%s'", workDir_.c_str());
    DeleteDirectoryTree(workDir_, true);
  }
}

int UiTool::Finish(RemovalResult result) {
  switch (result) {
    case RemovalResult::Removed: gui_->ShowMessage(Finished); return ExitSuccess;
    case RemovalResult::RemovedRebootNeeded:
      if (gui_->ShowMessage(FinishedReboot) == kGuiConfirmed) TriggerReboot();
      return ExitRebootNeeded;
    default: gui_->ShowMessage(ErrorGeneric); return ExitError;
  }
}

bool UiTool::IsStopRequested() { return ::WaitForSingleObject(stopEvent_, 0) != WAIT_TIMEOUT; }

bool UiTool::ShowTestUI() {
  if (gui_->ShowWelcome() == kGuiCancelled) return false;
  ProductList products;
  for (int n = 1; n <= 10; ++n) {
    products.push_back(std::make_shared<TestProductConfig>(
        L"id", L"Example product name " + std::to_wstring(n), (n - 1) % 3 == 0));
  }
  if (gui_->SelectProducts(products) != kGuiConfirmed) return false;
  gui_->ShowProgress();
  if (::WaitForSingleObject(stopEvent_, kTestUiWaitMs) != WAIT_TIMEOUT) return false;
  gui_->ShowMessage(ErrorGeneric);
  gui_->ShowMessage(Finished);
  gui_->ShowMessage(FinishedReboot);
  return true;
}

bool UiTool::CheckDebugCommands(int* code) {
  if (!KvOptionParser::Instance().IsSpecified(L"testui")) return true;
  LogFuncW(LogInfo, "UiTool::CheckDebugCommands", L"Showing TestUI");
  ShowTestUI();
  *code = ExitSuccess;
  return false;
}

bool UiTool::CheckPrivileges(int* code) {
  if (IsAdmin(nullptr)) return true;
  gui_->ShowMessage(ErrorPrivileges);
  *code = ExitNotAdmin;
  return false;
}

bool UiTool::CreateWorkDir(int* code) {
  KvOptionParser& options = KvOptionParser::Instance();
  if (options.IsSpecified(L"scripts")) {
    workDir_ = options.GetValue(L"scripts");
    LogFuncW(LogInfo, "UiTool::CreateWorkDir", L"Using scripts directory from command-line: %s",
             workDir_.c_str());
    return true;
  }
  removeWorkDir_ = true;
  {
    SecurityAttributes attributes;
    attributes.InitWorkDirectory();
    workDir_ = CreateUniqueTempDirectory(GetTempDirectoryPath(), attributes.Get());
  }
  LogFuncW(LogDebug, "UiTool::CreateWorkDir", L"Working directory: %s", workDir_.c_str());
  if (workDir_.empty()) {
    *code = ExitError;
    return false;
  }
  if (ZipDropper::ExtractFilesFromResource(workDir_)) return true;
  LogFuncW(LogError, "UiTool::CreateWorkDir", L"Failed to extract scripts from resources");
  gui_->ShowMessage(ErrorGeneric);
  *code = ExitError;
  return false;
}

void UiTool::TriggerReboot() {
  LogFuncW(LogInfo, "UiTool::TriggerReboot", L"Triggering reboot ...");
  KvPrivilege shutdown(L"SeShutdownPrivilege");
  ::ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, SHTDN_REASON_FLAG_PLANNED |
                                                    SHTDN_REASON_MAJOR_APPLICATION |
                                                    SHTDN_REASON_MINOR_MAINTENANCE);
}

void UiTool::ShowHelp(const ProductList& products) {
  const std::wstring languages = Join(Settings::Instance().GetLanguages(), L'|');
  StringList ids;
  for (const auto& product : products) ids.push_back(product->GetId());
  PrintToConsole(kHelpFormat, Join(ids, L'|').c_str(), languages.c_str());
}

void UiTool::RegisterOptions(KvOptionParser& options) {
  options.AddOption(OptionKind::Flag, L"testui", 0);
  options.AddOption(OptionKind::Flag, L"help", L'h');
  options.AddOption(OptionKind::Flag, L"silent", L's');
  options.AddOption(OptionKind::Flag, L"restart", L'r');
  options.AddOption(OptionKind::ValueRequired, L"language", L'l');
  options.AddOption(OptionKind::ValueRequired, L"products", L'p');
  options.AddOption(OptionKind::ValueRequired, L"scripts", 0);
}

bool UiTool::ParseCommandLine(const wchar_t* commandLine) {
  KvOptionParser& options = KvOptionParser::Instance();
  RegisterOptions(options);

  std::wstring error;
  if (options.ParseCommandLine(commandLine)) {
    if (!options.IsSpecified(L"restart") || options.IsSpecified(L"silent")) return true;
    error = L"Option 'restart' cannot be used without 'silent'";
  } else {
    error = options.GetError();
  }
  LogFuncW(LogError, "UiTool::ParseCommandLine", L"Command-line: '%s'", commandLine);
  LogFuncW(LogError, "UiTool::ParseCommandLine", L"Error in parameters: %s", error.c_str());
  PrintToConsole(L"Error in parameters: %s", error.c_str());
  return false;
}
