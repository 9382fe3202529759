# Fails when a file under playcore/ includes a header of the application
# (kinetta/...): the playback engine and the MP4 toolkit stand below the
# application and report upwards only through their own interfaces.
file(GLOB_RECURSE sources
  "${SOURCE_DIR}/playcore/*.h" "${SOURCE_DIR}/playcore/*.cpp" "${SOURCE_DIR}/playcore/*.inc")
set(offenders "")
foreach(f IN LISTS sources)
  file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]kinetta/")
  if(lines)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
    list(APPEND offenders "${rel}: ${lines}")
  endif()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "playcore/ includes application headers:\n  ${text}")
endif()
list(LENGTH sources n)
message(STATUS "${n} files under playcore/ include nothing of kinetta/")
