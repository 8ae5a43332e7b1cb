# Lua 5.3 and minizip, built from the Debian source packages fetched at set-up.
set(LUA_SRC "${PURGEKIT_DEPS_DIR}/lua/src")
set(MINIZIP_SRC "${PURGEKIT_DEPS_DIR}/zlib/contrib/minizip")

set(lua_sources lapi.c lcode.c lctype.c ldebug.c ldo.c ldump.c lfunc.c lgc.c llex.c lmem.c
    lobject.c lopcodes.c lparser.c lstate.c lstring.c ltable.c ltm.c lundump.c lvm.c lzio.c
    lauxlib.c lbaselib.c lbitlib.c lcorolib.c ldblib.c liolib.c lmathlib.c loslib.c lstrlib.c
    ltablib.c lutf8lib.c loadlib.c linit.c)
list(TRANSFORM lua_sources PREPEND "${LUA_SRC}/")
# Lua is compiled as C++ so that a script error unwinds through C++ frames (it throws
# instead of using longjmp) and every destructor of a module function runs.
set_source_files_properties(${lua_sources} PROPERTIES LANGUAGE CXX)
add_library(lua STATIC ${lua_sources})
target_include_directories(lua SYSTEM PUBLIC "${LUA_SRC}")
target_compile_definitions(lua PUBLIC LUA_COMPAT_5_2)
target_compile_options(lua PRIVATE -w)

find_library(ZLIB_STATIC libz.a REQUIRED)
add_library(minizip STATIC "${MINIZIP_SRC}/unzip.c" "${MINIZIP_SRC}/ioapi.c")
target_include_directories(minizip SYSTEM PUBLIC "${MINIZIP_SRC}")
target_compile_definitions(minizip PRIVATE NOCRYPT NOUNCRYPT)
target_link_libraries(minizip PUBLIC "${ZLIB_STATIC}")
target_compile_options(minizip PRIVATE -w)
