# Applies STATION_SANITIZE to everything built after this point.
if(STATION_SANITIZE)
  string(REPLACE "," ";" _sanitizers "${STATION_SANITIZE}")
  foreach(_s IN LISTS _sanitizers)
    add_compile_options(-fsanitize=${_s})
    add_link_options(-fsanitize=${_s})
  endforeach()
  add_compile_options(-fno-omit-frame-pointer -fno-sanitize-recover=undefined)
endif()
