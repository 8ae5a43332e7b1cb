#pragma once

#include <functional>
#include <string>

#include "lua.h"

// The script host: one Lua 5.3 state per script file.
//
// Lua is compiled as C++ here, so a Lua error is a C++ exception that unwinds through every
// C++ frame between the raising call and the protected call that catches it. Destructors of
// objects on a module function's stack therefore run when an argument check or any other
// Lua error ends the function early: module functions may hold handles, strings and other
// RAII objects freely and may raise argument errors anywhere.
//
// The host itself never touches a state outside a protected call once the script has run:
// a collection step started by any allocation may run a script's finalizer, and an error
// from it outside a protected call would end the whole process. Every call into the state
// therefore goes through `Protected`, and a failure there is logged like a script error.
class LuaScript {
 public:
  // path: the script file, UTF-8 like every path a script sees (Lua's file calls take UTF-8
  // names). text: an in-memory chunk run instead of the file, with path as its chunk name;
  // empty for the file. Either is loaded as text only: a precompiled chunk is refused.
  explicit LuaScript(std::string path, std::string text = {});
  virtual ~LuaScript();
  LuaScript(const LuaScript&) = delete;
  LuaScript& operator=(const LuaScript&) = delete;

  // Creates the state, loads the chunk and runs it once.
  virtual bool Initialize();
  virtual bool IsValid() const { return state_ != nullptr; }
  // Runs `code` as a chunk named `chunkName`; logs nothing.
  virtual bool RunString(const std::string& code, const std::string& chunkName);
  // The value on top of the stack as text: a string, or a number in its Lua form; any
  // other value gives the empty text.
  virtual std::string GetTopString();
  virtual bool InitializeLuaState();

  const std::string& Path() const { return path_; }
  lua_State* State() const { return state_; }

  // Logs the whole stack of `state` at the error level, bottom first.
  static void DumpStack(lua_State* state);

 protected:
  // Runs `body` inside a protected call. `body` works on the state's stack and returns how
  // many values it leaves there; those stay on top after a successful call (`results` is
  // their fixed number). On failure the error object is on top instead. Returns the Lua
  // status.
  int Protected(const std::function<int(lua_State*)>& body, int results);

  // Looks the global `name` up inside a protected call; true when it is a function, which
  // is then left on top of the stack. A lookup that raises an error (a strict-mode metatable
  // on the globals) counts as no function.
  bool PushGlobalFunction(const char* name);

  // A log-friendly wide form of 8-bit text from the state, such as an error message that
  // holds both a chunk name and script text: UTF-8 when it is valid UTF-8, else the ANSI
  // code page (a script saved in it may raise an error with its own text).
  static std::wstring ToLogText(const std::string& text);

  lua_State* state_ = nullptr;

 private:
  std::string path_;
  std::string text_;
};
