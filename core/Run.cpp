#include "Run.h"

#include <memory>
#include <string>

#include "BuildInfo.h"
#include "CmdLineManager.h"
#include "Console.h"
#include "DelayLoadSettings.h"
#include "ExitCode.h"
#include "GuiManager.h"
#include "GuiSilent.h"
#include "KvOptionParser.h"
#include "LanguageSelect.h"
#include "Log.h"
#include "PathUtils.h"
#include "Settings.h"
#include "SingleInstanceMutex.h"
#include "SystemDlls.h"
#include "UiTool.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

// Runs everything between the texts and the end: the manager, the run objects and the
// removal of the work directory. Returns the exit code.
int RunWithStopEvent(HANDLE stopEvent, HINSTANCE instance) {
  std::unique_ptr<IGuiManager> gui;
  if (KvOptionParser::Instance().IsSpecified(L"silent")) {
    LogFuncW(LogInfo, "Run", L"SILENT parameter provided. Running without GUI.");
    gui = std::make_unique<GuiSilent>();
  } else {
    gui = std::make_unique<GuiManager>(stopEvent, instance);
  }

  CmdLineManager cmdLine;
  LanguageSelect languageSelect;
  int code = ExitSuccess;
  {
    UiTool tool(gui.get(), &cmdLine, &languageSelect, stopEvent);
    gui->Start();
    code = tool.Run();
    gui->Stop();
    tool.CleanUp();
  }
  gui.reset();
  return code;
}

}  // namespace

int Run(HINSTANCE instance) {
  // The parser exists before anything else of the run.
  KvOptionParser::Instance();

  SingleInstanceMutex singleInstance;
  switch (singleInstance.Create(BuildInfo::kSingleInstanceMutex)) {
    case SingleInstanceMutex::State::Created: break;
    case SingleInstanceMutex::State::AnotherInstance:
      LogFuncW(LogInfo, "Run", L"Another instance is already running");
      return ExitAlreadyRunning;
    case SingleInstanceMutex::State::ForeignOwner: {
      // Any user may make an object by that name; only the system's or an administrator's
      // is an instance of this program.
      const std::wstring owner =
          singleInstance.Owner().empty()
              ? L"unknown (error " + std::to_wstring(singleInstance.Error()) + L")"
              : singleInstance.Owner();
      LogFuncW(LogWarning, "Run",
               L"The single-instance mutex '%s' exists with the owner %s, not the system or the "
               L"Administrators: it is not taken for another instance",
               BuildInfo::kSingleInstanceMutex, owner.c_str());
      break;
    }
    case SingleInstanceMutex::State::NotCreated:
      LogFuncW(LogWarning, "Run", L"The single-instance mutex '%s' can't be created: %lu",
               BuildInfo::kSingleInstanceMutex, singleInstance.Error());
      break;
  }

  // Libraries bound on first use never come from the program's own directory.
  DelayLoadSettings::Instance().SetFlag(DelayLoadSettings::kSearchOwnDirectory, false);
  if (!SetSafeDllSearchPaths()) {
    LogFuncW(LogWarning, "Run", L"Failed to set default safe DLL search paths");
  }
  LoadSystemDll(L"UxTheme.dll");
  LoadSystemDll(L"WindowsCodecs.dll");

  if (!UiTool::ParseCommandLine(::GetCommandLineW())) {
    PrintToConsole(L"Use --help|-h option to view available parameters");
    return ExitError;
  }
  if (!Settings::Instance().Load(Localizations, instance, 101)) {
    LogFuncW(LogFatal, "Run", L"Failed to load localizations");
    return ExitError;
  }
  if (!Settings::Instance().Load(Customizations, instance, 102)) {
    LogFuncW(LogFatal, "Run", L"Failed to load customizations");
    return ExitError;
  }
  UniqueHandle stopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!stopEvent || stopEvent.get() == INVALID_HANDLE_VALUE) {
    LogFuncW(LogFatal, "Run", L"Failed to create stop event");
    return ExitError;
  }
  return RunWithStopEvent(stopEvent.get(), instance);
}
