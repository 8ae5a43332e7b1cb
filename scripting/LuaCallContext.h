#pragma once

#include <string>

#include "StringUtils.h"
#include "lua.h"

// The argument cursor and result counter that every module function builds on its stack.
//
// Conventions shared by all modules:
// - Arguments are read by position, from the cursor on. Only an argument of the wrong type
//   raises a Lua error (the interpreter's argument error, naming its position); a failed
//   operation is reported through the results.
// - Optional arguments are present when their value is neither none nor nil. The first
//   absent one ends the optional list: it and every later optional argument take their
//   defaults, even when later positions hold values.
// - Texts cross the boundary as UTF-8; inside they are UTF-16.
class LuaCallContext {
 public:
  // firstArgument: 2 when the function has read argument 1 itself.
  explicit LuaCallContext(lua_State* state, int firstArgument = 1)
      : state_(state), nextArgument_(firstArgument) {}

  lua_State* State() const { return state_; }
  int NextArgument() const { return nextArgument_; }
  // What the module function returns to Lua.
  int ResultCount() const { return resultCount_; }

  // A string, or a number in its Lua string form, decoded from UTF-8 (invalid UTF-8 gives
  // the empty text); anything else raises the argument error for an expected string.
  std::wstring NextString();
  // An integer, a float with an exact integer value or a numeric string; anything else
  // raises the interpreter's argument error.
  lua_Integer NextInteger();

  // Whether the optional argument at the cursor is present.
  bool HasOptional();
  std::wstring NextOptionalString(const std::wstring& fallback = {});
  lua_Integer NextOptionalInteger(lua_Integer fallback);

  void PushBoolean(bool value);
  void PushInteger(lua_Integer value);
  // Pushed as UTF-8; the Lua string ends at the first NUL.
  void PushString(const std::wstring& text);
  // One table, elements 1 to n in list order as UTF-8 strings; an empty list gives an
  // empty table.
  void PushStringArray(const StringList& list);

 private:
  lua_State* state_;
  int nextArgument_;
  int resultCount_ = 0;
  bool optionalEnded_ = false;
};

// The file name of the script chunk whose function called the running module function
// (a library's own name when a library function calls the module); empty when there is no
// such caller. The prefix of the lines that scripts write into the log.
std::wstring GetCallerScriptName(lua_State* state);
