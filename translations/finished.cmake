# Every entry of a translation is finished, or the build stops.
#
# Included, it defines tarvo_require_finished_translations(target ts...):
# building the target first checks its .ts files. Run with
# cmake -DSTAMP=file -DTS_FILES=a.ts;b.ts -P finished.cmake, it is that
# check: an entry lupdate marked unfinished (new or changed English) or one
# left empty fails it, named with its file and source text.

if(CMAKE_SCRIPT_MODE_FILE)
  set(unfinished 0)
  foreach(ts IN LISTS TS_FILES)
    file(READ "${ts}" text)
    # A semicolon would split CMake's list of matches.
    string(REPLACE ";" "," text "${text}")
    # After a source only comments come before its translation.
    set(between "[^<]*(<(comment|extracomment|translatorcomment)>[^<]*</[a-z]+>[^<]*)*")
    string(REGEX MATCHALL "<source>[^<]*</source>${between}<translation( type=\"unfinished\"[^>]*>|></translation>)"
           entries "${text}")
    foreach(entry IN LISTS entries)
      string(REGEX MATCH "<source>([^<]*)</source>" _ "${entry}")
      message("${ts}: unfinished translation of \"${CMAKE_MATCH_1}\"")
      math(EXPR unfinished "${unfinished} + 1")
    endforeach()
    # Whatever the pattern above missed.
    string(REGEX MATCHALL "type=\"unfinished\"" marks "${text}")
    list(LENGTH marks n)
    if(n GREATER unfinished)
      message("${ts}: ${n} entries marked unfinished")
      set(unfinished ${n})
    endif()
  endforeach()
  if(unfinished GREATER 0)
    message(FATAL_ERROR "${unfinished} unfinished translation(s): translate them (Qt Linguist, or the .ts file) "
                        "and drop type=\"unfinished\".")
  endif()
  file(TOUCH "${STAMP}")
  return()
endif()

function(tarvo_require_finished_translations target)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_finished.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSTAMP=${stamp} "-DTS_FILES=${ARGN}" -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "Checking that every translation of ${target} is finished"
    VERBATIM)
  add_custom_target(${target}_finished DEPENDS ${stamp})
  add_dependencies(${target} ${target}_finished)
endfunction()
