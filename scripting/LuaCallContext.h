#pragma once

#include <string>

#include "PathUtils.h"
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
// - A text argument is refused when it holds a NUL (Windows would cut the name there and act
//   on another object) or is not well-formed UTF-8; the path, key and name readers refuse
//   more. A refused argument reads as the empty text and the call's first refusal is logged
//   (level 2, the function's name, the position and the argument with its control characters
//   escaped). After reading its arguments a function that finds Refused() pushes its failure
//   result and touches nothing.
class LuaCallContext {
 public:
  // What a function does at a path or key it is given.
  enum class Access { Read, Change };

  // function: the name of the module function in the log, as "Lua::Module::Function".
  // firstArgument: 2 when the function has read argument 1 itself.
  LuaCallContext(lua_State* state, const char* function, int firstArgument = 1)
      : state_(state), function_(function), nextArgument_(firstArgument) {}

  lua_State* State() const { return state_; }
  int NextArgument() const { return nextArgument_; }
  // What the module function returns to Lua.
  int ResultCount() const { return resultCount_; }

  // A string, or a number in its Lua string form, decoded from UTF-8; anything else raises
  // the argument error for an expected string.
  std::wstring NextString();
  // A file or directory path. To change the machine at it, it must be fully qualified below a
  // root, with no "." or ".." component, no component ending in a dot or a blank (the system
  // would strip it and act on another object), wildcard or device name (CheckChangeablePath).
  // A file's path (PathKind::File), read or changed, must not end in a backslash: such a path
  // names no file, yet its \\?\ form names the file.
  std::wstring NextPath(Access access, PathKind kind = PathKind::Any);
  // A key path below a registry root. To change the machine at it, it must not be empty and
  // must have no empty component: the key meant is never the root or a parent.
  std::wstring NextRegistryPath(Access access);
  // A value name (the empty name is the key's default value) or an atom name.
  std::wstring NextName();
  // The key name of a service: not empty, no backslash or slash.
  std::wstring NextServiceName();
  // A wildcard mask over names.
  std::wstring NextMask();
  // Whether an argument read so far was refused.
  bool Refused() const { return refused_; }
  // Refuses the argument at `position`, read already, for the reason given.
  void Refuse(int position, const wchar_t* reason);
  // An integer, a float with an exact integer value or a numeric string; anything else
  // raises the interpreter's argument error.
  lua_Integer NextInteger();

  // Whether the optional argument at the cursor is present.
  bool HasOptional();
  std::wstring NextOptionalString(const std::wstring& fallback = {});
  lua_Integer NextOptionalInteger(lua_Integer fallback);

  void PushBoolean(bool value);
  void PushInteger(lua_Integer value);
  // Push one result and give the count to return, for an early return after a refusal.
  int ReturnBoolean(bool value);
  int ReturnInteger(lua_Integer value);
  // Pushed as UTF-8; the Lua string ends at the first NUL.
  void PushString(const std::wstring& text);
  // One table, elements 1 to n in list order as UTF-8 strings; an empty list gives an
  // empty table.
  void PushStringArray(const StringList& list);

 private:
  // The text at the cursor; false when it was refused.
  bool ReadText(std::wstring& text, int& position);

  lua_State* state_;
  const char* function_;
  int nextArgument_;
  int resultCount_ = 0;
  bool optionalEnded_ = false;
  bool refused_ = false;
};

// The file name of the script chunk whose function called the running module function
// (a library's own name when a library function calls the module); empty when there is no
// such caller. The prefix of the lines that scripts write into the log.
std::wstring GetCallerScriptName(lua_State* state);
