# win32: the shipped 32-bit DLL (stdcall exports, undecorated names), built
# with the default thread model. Its tests and fvhost are built in a second
# tree with cmake/mingw-i686-posix.cmake and run under 32-bit Wine.
set(KV_MINGW_PROCESSOR i686)
set(KV_MINGW_THREADS "")
set(KV_MINGW_RUNNER "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
