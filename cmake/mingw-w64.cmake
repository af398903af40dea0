# Cross-compiling for Windows with mingw-w64, shared by the two toolchain files,
# which set CMAKE_SYSTEM_PROCESSOR first.
# The win32 thread model is taken when it is installed: the stub uses no
# threads, and the posix model would tie the runtime to libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)

set(triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
find_program(SFX_MINGW_CXX NAMES ${triplet}-g++-win32 ${triplet}-g++ REQUIRED)
find_program(SFX_MINGW_CC NAMES ${triplet}-gcc-win32 ${triplet}-gcc REQUIRED)
set(CMAKE_CXX_COMPILER ${SFX_MINGW_CXX})
set(CMAKE_C_COMPILER ${SFX_MINGW_CC})
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
