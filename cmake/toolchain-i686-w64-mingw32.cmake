# The shipped program: 32-bit Windows. The win32 thread model links no
# winpthreads, whose start-up code imports functions that Windows 2000 lacks
# (GetTickCount64, AddVectoredExceptionHandler); it also has no std::thread, so
# the program's own thread and lock wrappers are the only ones that compile.
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS win32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
