# Writes the build's version header from TEMPLATE to OUTPUT: VERSION is the
# project's, DESCRIBE the `git describe` of SOURCE_DIR when SOURCE_DIR is the
# top of a git checkout (not a source tarball unpacked inside some other
# repository). configure_file leaves OUTPUT alone when its text is unchanged.
# Usage: cmake -DSOURCE_DIR=.. -DGIT=<git or empty> -DVERSION=.. -DTEMPLATE=..
#              -DOUTPUT=.. -P GitDescribe.cmake

# Runs git in SOURCE_DIR without taking the index lock, so a build never gets
# in the way of a commit made at the same moment. Sets `out` to its output,
# or to "" when it fails.
function(run_git out)
  execute_process(COMMAND ${GIT} --no-optional-locks -C ${SOURCE_DIR} ${ARGN}
                  OUTPUT_VARIABLE text RESULT_VARIABLE result
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT result EQUAL 0)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(DESCRIBE "")
if(GIT)
  run_git(top rev-parse --show-toplevel)
  if(top)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      run_git(DESCRIBE describe --tags --always --dirty)
    endif()
  endif()
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
