# The Windows resources of a program: the program icon, which Explorer shows
# for the file and Qt takes as its windows' default, and the version
# information Explorer shows in the file's properties. Written from
# packaging/windows/program.rc.in and compiled by windres (mingw-w64) or
# rc.exe (MSVC); nothing on other systems.
# Usage: q8_windows_resource(TARGET "FILE DESCRIPTION")
function(q8_windows_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(Q8_RC_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/q8loader.ico)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # The compiler reads the icon, but no dependency scan sees it.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${Q8_RC_ICON})
endfunction()
