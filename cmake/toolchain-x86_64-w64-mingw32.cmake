# The test build: the same code for 64-bit Windows, run under wine64. GoogleTest
# needs the posix thread model.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS posix)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
