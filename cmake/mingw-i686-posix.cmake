# The 32-bit test tree of the win32 preset: unit tests, Win32 tests and fvhost
# for i686 with the posix thread model (GoogleTest needs it), run under 32-bit
# Wine against the shipped DLL of the outer tree.
set(KV_MINGW_PROCESSOR i686)
set(KV_MINGW_THREADS -posix)
set(KV_MINGW_RUNNER wine-run32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
