# Writes the version header with the git commit the build comes from:
# cmake -DSOURCE=... -DOUT=... -DVERSION=... -P version.cmake. Rewritten only
# when it changes, so an unchanged commit rebuilds nothing.
execute_process(COMMAND git -C ${SOURCE} rev-parse --short=12 HEAD OUTPUT_VARIABLE commit
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0 OR commit STREQUAL "")
  set(commit "unknown")
else()
  execute_process(COMMAND git -C ${SOURCE} status --porcelain --untracked-files=no OUTPUT_VARIABLE dirty
                  ERROR_QUIET)
  if(NOT dirty STREQUAL "")
    string(APPEND commit "-modified")
  endif()
endif()
set(text "#define TAVRIN_VERSION \"${VERSION}\"\n#define TAVRIN_COMMIT \"${commit}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUT} "${text}")
endif()
