# win64: the plug-in's 64-bit twin, fvhost and the Win32 tests, run under Wine.
set(KV_MINGW_PROCESSOR x86_64)
set(KV_MINGW_THREADS -posix)
set(KV_MINGW_RUNNER wine-run)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
