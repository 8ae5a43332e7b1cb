#pragma once

#include <windows.h>

namespace Lua::Process {

// What a started program's standard output and error are connected to, for one waiting
// start: Init, the child is created with GetStartupInfo, Run, the wait on the child, Wait.
class ProcessOutputRedirector {
 public:
  virtual ~ProcessOutputRedirector() = default;
  virtual bool Init() = 0;
  // The startup record to create the child with; null for the default one.
  virtual STARTUPINFOW* GetStartupInfo() = 0;
  // Called once the child has been created.
  virtual void Run() = 0;
  // Called after the wait on the child; stop when the child has not been seen to end.
  virtual void Wait(bool stop) = 0;
};

// No redirection: the child inherits no handles.
class DummyProcessOutputRedirector final : public ProcessOutputRedirector {
 public:
  bool Init() override { return true; }
  STARTUPINFOW* GetStartupInfo() override { return nullptr; }
  void Run() override {}
  void Wait(bool) override {}
};

}  // namespace Lua::Process
