#pragma once

#include <windows.h>

#include <string>

#include "ICmdLineManager.h"
#include "IGuiManager.h"
#include "ProductConfig.h"
#include "UiToolLib.h"

class KvOptionParser;
class LanguageSelect;

// The main road of a run: language, test UI, administrator test, work directory,
// product discovery, help, the `products` option, the pages, removal and outcome.
// Every step returns whether the run goes on and sets the exit code when it does not.
class UiTool {
 public:
  UiTool(IGuiManager* gui, ICmdLineManager* cmdLine, LanguageSelect* languageSelect,
         HANDLE stopEvent)
      : gui_(gui), cmdLine_(cmdLine), languageSelect_(languageSelect), stopEvent_(stopEvent) {}
  virtual ~UiTool() = default;
  UiTool(const UiTool&) = delete;
  UiTool& operator=(const UiTool&) = delete;

  virtual int Run();
  virtual bool Initialize(int* code);
  virtual void CleanUp();
  virtual int Finish(RemovalResult result);
  virtual bool IsStopRequested();
  virtual bool ShowTestUI();
  virtual bool CheckDebugCommands(int* code);
  virtual bool CheckPrivileges(int* code);
  virtual bool CreateWorkDir(int* code);
  // In the 32-bit program on 64-bit Windows the run is handed to the 64-bit program;
  // true then, with its exit code (hand_over/UiToolRunNative.cpp). The 64-bit program goes
  // on in its own process (UiToolRunNative.cpp).
  virtual bool RunNative(int* code);
  virtual void TriggerReboot();

  void ShowHelp(const ProductList& products);
  // The program's options, in their order.
  static void RegisterOptions(KvOptionParser& options);
  // Registers the program's options and parses the command line; reports errors itself.
  static bool ParseCommandLine(const wchar_t* commandLine);

 protected:
  IGuiManager* gui_;
  ICmdLineManager* cmdLine_;
  LanguageSelect* languageSelect_;
  HANDLE stopEvent_;
  std::wstring workDir_;
  bool removeWorkDir_ = false;
};
