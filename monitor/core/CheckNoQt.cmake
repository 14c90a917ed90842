# Fails when a file of FOLDER or its subfolders includes a Qt header (<Q...>,
# <Qt...>, <qt...>); touches STAMP otherwise. Run at build time by
# core/CMakeLists.txt and the archive's libraries.
file(GLOB_RECURSE files ${FOLDER}/*.h ${FOLDER}/*.cpp)
set(offending "")
foreach(file IN LISTS files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Z]|Qt|qt)")
  foreach(line IN LISTS lines)
    list(APPEND offending "${file}: ${line}")
  endforeach()
endforeach()
if(offending)
  list(JOIN offending "\n  " text)
  message(FATAL_ERROR "${FOLDER} must not use Qt; it includes:\n  ${text}")
endif()
file(TOUCH ${STAMP})
