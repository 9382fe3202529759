# The layering of the tree (kinetta/README.md), one rule per run (-DRULE=...):
#
#  playcore  no file under playcore/ includes a header of the application
#            (kinetta/...): the playback engine and the MP4 toolkit stand below
#            the application and report upwards only through their own
#            interfaces.
#  shell     no file of kinetta/shell/ includes a header of a feature's folder
#            (kinetta/map, telemetry, fileops, services, gpx, clips) except
#            kinetta_dlg_features.cpp, the one place that creates the features;
#            the rest of the window reaches them through the viewer state's
#            signals and the routing tables.
#  features  the rest of the application below the shell (every folder of
#            kinetta/ but shell and app, which starts the main window) includes
#            of kinetta/shell/ only what a feature sees of it: viewer_state.h
#            and viewer_feature.h.
#  names     no two headers of the program (kinetta, playcore, platform, util)
#            define a class or struct of the same name at their top level, in
#            whatever namespaces: one name for two classes is a trap for the
#            reader, and where the namespaces do meet the linker keeps one of
#            the two definitions without a word (a one-definition-rule
#            violation).
cmake_minimum_required(VERSION 3.25)

# Lines matching PATTERN (but not ALLOWED) in the files of GLOBS, except ALLOWED_FILES.
function(find_offenders out)
  cmake_parse_arguments(ARG "" "PATTERN;ALLOWED" "GLOBS;ALLOWED_FILES" ${ARGN})
  file(GLOB_RECURSE sources ${ARG_GLOBS})
  set(found "")
  foreach(f IN LISTS sources)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
    if(rel IN_LIST ARG_ALLOWED_FILES)
      continue()
    endif()
    file(STRINGS "${f}" lines REGEX "${ARG_PATTERN}")
    foreach(line IN LISTS lines)
      if(ARG_ALLOWED AND line MATCHES "${ARG_ALLOWED}")
        continue()
      endif()
      string(STRIP "${line}" line)
      list(APPEND found "${rel}: ${line}")
    endforeach()
  endforeach()
  list(LENGTH sources n)
  set(${out} "${found}" PARENT_SCOPE)
  set(${out}_COUNT ${n} PARENT_SCOPE)
endfunction()

set(include "^[ \t]*#[ \t]*include[ \t]*[\"<]")
if(RULE STREQUAL "playcore")
  find_offenders(offenders
    GLOBS "${SOURCE_DIR}/playcore/*.h" "${SOURCE_DIR}/playcore/*.cpp" "${SOURCE_DIR}/playcore/*.inc"
    PATTERN "${include}kinetta/")
  set(what "playcore/ includes application headers")
  set(ok "files under playcore/ include nothing of kinetta/")
elseif(RULE STREQUAL "shell")
  find_offenders(offenders
    GLOBS "${SOURCE_DIR}/kinetta/shell/*.h" "${SOURCE_DIR}/kinetta/shell/*.cpp"
    PATTERN "${include}kinetta/(map|telemetry|fileops|services|gpx|clips)/"
    ALLOWED_FILES kinetta/shell/kinetta_dlg_features.cpp)
  set(what "the shell includes a feature's header outside kinetta_dlg_features.cpp")
  set(ok "files of kinetta/shell/ include no feature's header but kinetta_dlg_features.cpp")
elseif(RULE STREQUAL "features")
  set(globs "")
  file(GLOB folders LIST_DIRECTORIES true "${SOURCE_DIR}/kinetta/*")
  foreach(d IN LISTS folders)
    if(IS_DIRECTORY "${d}" AND NOT d MATCHES "/kinetta/(shell|app)$")
      list(APPEND globs "${d}/*.h" "${d}/*.cpp")
    endif()
  endforeach()
  find_offenders(offenders GLOBS ${globs}
    PATTERN "${include}kinetta/shell/"
    ALLOWED "kinetta/shell/(viewer_state|viewer_feature)\\.h")
  set(what "a file below the shell includes a shell header other than viewer_state.h and viewer_feature.h")
  set(ok "files below kinetta/shell/ include only viewer_state.h and viewer_feature.h of it")
elseif(RULE STREQUAL "names")
  file(GLOB_RECURSE headers "${SOURCE_DIR}/kinetta/*.h" "${SOURCE_DIR}/playcore/*.h"
    "${SOURCE_DIR}/platform/*.h" "${SOURCE_DIR}/util/*.h")
  set(definition "^(class|struct)[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]*(final[ \t]*)?[:{]")
  set(offenders "")
  foreach(f IN LISTS headers)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${f}")
    file(STRINGS "${f}" lines REGEX "${definition}")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "${definition}.*" "\\2" name "${line}")
      if(DEFINED where_${name})
        list(APPEND offenders "${name}: ${where_${name}} and ${rel}")
      else()
        set(where_${name} "${rel}")
      endif()
    endforeach()
  endforeach()
  list(LENGTH headers offenders_COUNT)
  set(what "two headers define classes of one name")
  set(ok "headers define classes of distinct names")
else()
  message(FATAL_ERROR "check_layers.cmake: RULE must be playcore, shell, features or names")
endif()

if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "${what}:\n  ${text}")
endif()
message(STATUS "${offenders_COUNT} ${ok}")
