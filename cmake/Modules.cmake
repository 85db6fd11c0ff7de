# Project-wide compile settings and the helpers that define modules and tests.
#
# kv_add_module(NAME DIR DEPS...) builds every .cpp directly in DIR into a
# static library kv_<NAME>. Files ending in _win32.cpp are compiled only for
# Windows, files ending in _posix.cpp only elsewhere, so ports pick their
# implementation by file name and logic code needs no #ifdef.

set(KV_WARNING_FLAGS -Wall -Wextra -Wshadow)
if(KV_WARNINGS_AS_ERRORS)
  list(APPEND KV_WARNING_FLAGS -Werror)
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC's identical code folding (-fipa-icf, on from -O2 and -Os) merges
  # functions with equal bodies even when their 32-bit calling conventions
  # differ: an empty cdecl function (a std::function invoker) became an alias
  # of an empty thiscall member ending in 'ret $4', so every call through the
  # alias left the stack four bytes off. 64-bit Windows has one convention.
  add_compile_options(-fno-ipa-icf)
endif()

if(KV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KV_FUZZ)
  # Coverage feedback from the whole library, not just the fuzz entry points.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # No MinGW runtime DLL may be needed at run time.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

function(kv_platform_sources OUT_VAR DIR)
  file(GLOB all CONFIGURE_DEPENDS ${DIR}/*.cpp)
  set(kept)
  foreach(f IN LISTS all)
    if(f MATCHES "_win32\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(f MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    list(APPEND kept ${f})
  endforeach()
  set(${OUT_VAR} ${kept} PARENT_SCOPE)
endfunction()

function(kv_target_settings TARGET)
  target_compile_options(${TARGET} PRIVATE ${KV_WARNING_FLAGS})
  target_include_directories(${TARGET} PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

function(kv_add_module NAME DIR)
  kv_platform_sources(sources ${DIR})
  if(NOT sources)
    # A module that has no code yet still links.
    add_library(kv_${NAME} INTERFACE)
    target_include_directories(kv_${NAME} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    if(ARGN)
      target_link_libraries(kv_${NAME} INTERFACE ${ARGN})
    endif()
    return()
  endif()
  add_library(kv_${NAME} STATIC ${sources})
  kv_target_settings(kv_${NAME})
  if(ARGN)
    target_link_libraries(kv_${NAME} PUBLIC ${ARGN})
  endif()
endfunction()

# Wine runs the win64 tests; CMAKE_CROSSCOMPILING_EMULATOR is set by the
# toolchain. Tests get a timeout so that a dialog nobody answers cannot hang.
set(KV_TEST_TIMEOUT 300)

# kv_add_unit_test(NAME DIR DEPS...) builds every .cpp in DIR (platform
# filtered as above) into one GoogleTest program and registers it with CTest.
function(kv_add_unit_test NAME DIR)
  kv_platform_sources(sources ${DIR})
  if(NOT sources)
    return()
  endif()
  add_executable(${NAME} ${sources})
  kv_target_settings(${NAME})
  target_include_directories(${NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${NAME} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${NAME} PRIVATE
    KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KV_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${NAME} COMMAND ${NAME} --gtest_brief=1)
  set_tests_properties(${NAME} PROPERTIES TIMEOUT ${KV_TEST_TIMEOUT})
endfunction()
