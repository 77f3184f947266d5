# Compiles the window's Win32 backends syntax-only with a mingw-w64 compiler
# against this host's Qt 6 headers: the headers are the same on every
# platform, bar the DLL import markings, whose warnings are off here. There is
# no Qt for mingw here, so the Windows build (scripts/windows-test.sh), which
# compiles and runs everything else, leaves the window out.
# Usage: cmake -DCXX=<mingw g++> -DSRC=<project root> -DQT_HEADERS=<dir>
#        -P Win32SyntaxCheck.cmake
file(GLOB ui_backends ${SRC}/src/ui/*Win32.cpp)
if(NOT ui_backends)
  message(FATAL_ERROR "no Win32 backends found under ${SRC}/src/ui")
endif()
foreach(source ${ui_backends})
  execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Werror
            -Wno-attributes -I${SRC}/src -isystem ${QT_HEADERS} -isystem ${QT_HEADERS}/QtCore
            -isystem ${QT_HEADERS}/QtGui -isystem ${QT_HEADERS}/QtWidgets ${source}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "does not compile for Windows: ${source}")
  endif()
  message(STATUS "compiles for Windows: ${source}")
endforeach()
