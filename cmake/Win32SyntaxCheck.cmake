# Compiles every source of the tool except the POSIX backends and the Qt
# window, syntax-only, with a mingw-w64 compiler: the Win32 backends and the
# shared code as a Windows build would see them. (There is no Qt for mingw
# here; the window's code is plain Qt and builds wherever Qt does.)
# When QT_HEADERS names a Qt 6 header folder (this host's), the window's own
# Win32 backends are checked against it too: the headers are the same on
# every platform, bar the DLL import markings, whose warnings are off here.
# Usage: cmake -DCXX=<mingw g++> -DSRC=<project root> [-DQT_HEADERS=<dir>]
#        -P Win32SyntaxCheck.cmake
# Compiles `source` syntax-only with the given extra flags; stops the check
# at the first failure.
function(check_compiles source)
  execute_process(
    COMMAND ${CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Werror
            -I${SRC}/src ${ARGN} ${source}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "does not compile for Windows: ${source}")
  endif()
  message(STATUS "compiles for Windows: ${source}")
endfunction()

file(GLOB sources ${SRC}/src/*/*.cpp ${SRC}/cli/*.cpp)
list(FILTER sources EXCLUDE REGEX "(Posix|Linux)\\.cpp$")
list(FILTER sources EXCLUDE REGEX "/src/ui/")
# Its header is written into a build tree; the mingw-w64 build compiles it.
list(FILTER sources EXCLUDE REGEX "/src/version/")
list(FILTER sources INCLUDE REGEX "\\.cpp$")
set(win32_backends ${sources})
list(FILTER win32_backends INCLUDE REGEX "Win32\\.cpp$")
if(NOT win32_backends)
  message(FATAL_ERROR "no Win32 backends found under ${SRC}")
endif()
foreach(source ${sources})
  check_compiles(${source})
endforeach()

if(QT_HEADERS)
  file(GLOB ui_backends ${SRC}/src/ui/*Win32.cpp)
  foreach(source ${ui_backends})
    check_compiles(${source} -Wno-attributes -isystem ${QT_HEADERS}
                   -isystem ${QT_HEADERS}/QtCore -isystem ${QT_HEADERS}/QtGui
                   -isystem ${QT_HEADERS}/QtWidgets)
  endforeach()
endif()
