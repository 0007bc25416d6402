# Cross build of the Windows x64 add-in with the mingw-w64 toolchain (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QVL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QVL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QVL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only packages of the build machine that the target's root lacks (nlohmann_json).
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/cross)

