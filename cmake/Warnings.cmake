# station_warnings(target): the project's warning set, errors under CI.
function(station_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2 -Wimplicit-fallthrough
    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual>)
  if(STATION_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
