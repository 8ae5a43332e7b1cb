#include "ScriptTestSupport.h"

#include "ProgramRunner.h"
#include "Status.h"

LogCapture& TestLog() {
  static LogCapture capture(L"unit_scripting");
  return capture;
}

std::wstring ScriptFixture(const std::wstring& name) { return FixturePath(L"scripts\\" + name); }

std::string StackEntry(const std::string& slots) { return "*E: *** LUA STACK: ***\r\n" + slots; }

void ScriptTest::SetUp() {
  TestLog().Mark();
  Status::Instance().Clear();
}
