# Lua 5.3 and minizip, built from the Debian source packages fetched at set-up.
set(LUA_SRC "${PURGEKIT_DEPS_DIR}/lua/src")
set(MINIZIP_SRC "${PURGEKIT_DEPS_DIR}/zlib/contrib/minizip")

set(lua_sources lapi.c lcode.c lctype.c ldebug.c ldo.c ldump.c lfunc.c lgc.c llex.c lmem.c
    lobject.c lopcodes.c lparser.c lstate.c lstring.c ltable.c ltm.c lundump.c lvm.c lzio.c
    lauxlib.c lbaselib.c lcorolib.c ldblib.c liolib.c lmathlib.c loslib.c lstrlib.c
    ltablib.c lutf8lib.c loadlib.c linit.c)
list(TRANSFORM lua_sources PREPEND "${LUA_SRC}/")
# Lua is compiled as C++ so that a script error unwinds through C++ frames (it throws
# instead of using longjmp) and every destructor of a module function runs.
set_source_files_properties(${lua_sources} PROPERTIES LANGUAGE CXX)
# Lua 5.3 as it is, without the 5.2 leftovers (bit32, math.pow and the like) that a script
# could come to rely on.
# Lua's own file, command and library calls take UTF-8 names, through the wrappers of
# LuaUtf8Paths, which every Lua source includes as its LUA_USER_H.
set(lua_utf8_paths "${PROJECT_SOURCE_DIR}/scripting/lua")
add_library(lua STATIC ${lua_sources} "${lua_utf8_paths}/LuaUtf8Paths.cpp")
target_include_directories(lua SYSTEM PUBLIC "${LUA_SRC}")
target_include_directories(lua PRIVATE "${lua_utf8_paths}")
target_compile_definitions(lua PRIVATE "LUA_USER_H=\"LuaUtf8Paths.h\"")
target_link_libraries(lua PRIVATE winsupport)
set_source_files_properties(${lua_sources} PROPERTIES COMPILE_OPTIONS -w)
purgekit_warnings(lua)

find_library(ZLIB_STATIC libz.a REQUIRED)
add_library(minizip STATIC "${MINIZIP_SRC}/unzip.c" "${MINIZIP_SRC}/ioapi.c")
target_include_directories(minizip SYSTEM PUBLIC "${MINIZIP_SRC}")
target_compile_definitions(minizip PRIVATE NOCRYPT NOUNCRYPT)
target_link_libraries(minizip PUBLIC "${ZLIB_STATIC}")
target_compile_options(minizip PRIVATE -w)
