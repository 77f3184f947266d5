# The Windows resources of a program: the program icon, which Explorer shows
# for the file and Qt takes as its windows' default, and the version
# information Explorer shows in the file's properties. Written from
# packaging/windows/program.rc.in and compiled by windres (mingw-w64) or
# rc.exe (MSVC); nothing on other systems.
# Usage: q8_windows_resource(TARGET "FILE DESCRIPTION")

# The copyright line of packaging/copyright, "Copyright (c) YEAR HOLDER": the
# holder is the company the version information names.
function(q8_copyright_holder line_out holder_out)
  set(pattern "^Copyright \\(c\\) [0-9][0-9, -]* (.+)$")
  file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/copyright line ENCODING UTF-8 REGEX "${pattern}"
       LIMIT_COUNT 1)
  if(NOT line)
    message(FATAL_ERROR "packaging/copyright has no \"Copyright (c) YEAR HOLDER\" line")
  endif()
  string(REGEX REPLACE "${pattern}" "\\1" holder "${line}")
  set(${line_out} "${line}" PARENT_SCOPE)
  set(${holder_out} "${holder}" PARENT_SCOPE)
endfunction()

function(q8_windows_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(Q8_RC_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/q8loader.ico)
  set(Q8_RC_NAME ${target})
  set(Q8_RC_DESCRIPTION "${description}")
  q8_copyright_holder(Q8_RC_COPYRIGHT Q8_RC_COMPANY)
  # The binary version has four numbers; the project's may have fewer.
  set(numbers "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND numbers 0)
    else()
      list(APPEND numbers ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN numbers "," Q8_RC_VERSION)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # The compiler reads the icon, but no dependency scan sees it.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${Q8_RC_ICON})
endfunction()
