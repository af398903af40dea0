# Windows, i686, with mingw-w64 (Debian: g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
