// The third-party libraries are built from source for Windows; prove that they work.
#include <gtest/gtest.h>

#include <cstring>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "unzip.h"

namespace {

TEST(Lua, RunsAChunkAndReportsItsVersion) {
  lua_State* state = luaL_newstate();
  ASSERT_NE(state, nullptr);
  luaL_openlibs(state);
  ASSERT_EQ(luaL_dostring(state, "return _VERSION .. ':' .. tostring(6 * 7)"), LUA_OK);
  EXPECT_STREQ(lua_tostring(state, -1), "Lua 5.3:42");
  lua_close(state);
}

TEST(Lua, ErrorsAreCaughtByProtectedCalls) {
  lua_State* state = luaL_newstate();
  luaL_openlibs(state);
  EXPECT_NE(luaL_dostring(state, "error('boom')"), LUA_OK);
  EXPECT_NE(std::strstr(lua_tostring(state, -1), "boom"), nullptr);
  lua_close(state);
}

TEST(Minizip, RejectsSomethingThatIsNoArchive) {
  // No such file: the reader fails cleanly.
  EXPECT_EQ(unzOpen64("Z:\\nonexistent\\none.zip"), nullptr);
}

}  // namespace
