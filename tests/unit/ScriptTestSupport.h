#pragma once

#include <gtest/gtest.h>

#include <string>

#include "LogCapture.h"

// Shared by the script-host and product tests: the process's log and the fixture folders.

// The log of this test process, started on first use.
LogCapture& TestLog();

// A folder below tests/fixtures/scripts.
std::wstring ScriptFixture(const std::wstring& name);

// The entry of a Lua stack dump as the log shows it.
std::string StackEntry(const std::string& slots);

// Each test starts with the log marked and the run's status cleared.
class ScriptTest : public testing::Test {
 protected:
  void SetUp() override;
};
