# station_warnings(target): the project's warning set, errors under CI.
function(station_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wformat=2
    -Wimplicit-fallthrough)
  if(STATION_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
