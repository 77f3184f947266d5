# Compiles the Windows-only sources syntax-only with a mingw-w64 compiler.
# Usage: cmake -DCXX=<mingw g++> -DSRC=<project root> -P Win32SyntaxCheck.cmake
file(GLOB win32_sources ${SRC}/src/*/*Win32.cpp)
foreach(source ${win32_sources})
  execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Werror
            -I${SRC}/src ${source}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Win32 source does not compile: ${source}")
  endif()
  message(STATUS "compiles for Win32: ${source}")
endforeach()
if(NOT win32_sources)
  message(FATAL_ERROR "no Win32 sources found under ${SRC}/src")
endif()
