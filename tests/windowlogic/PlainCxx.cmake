# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source of the window's logic includes a toolkit's or a system's header, and
# compiles each source with MinGW-w64 when MINGW_CXX names one.
file(GLOB sources ${LOGIC}/*.h ${LOGIC}/*.cpp)
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^#include")
  foreach(line IN LISTS includes)
    if(line MATCHES "<(Q[A-Za-z]*|sys/.*|unistd\\.h|fcntl\\.h|pthread\\.h|windows\\.h|dirent\\.h)>")
      message(FATAL_ERROR "${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(MINGW_CXX)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.cpp$")
      execute_process(COMMAND ${MINGW_CXX} -std=c++20 -Wall -Wextra -Wpedantic -Werror
                              -fsyntax-only -I${LOGIC} -I${ENGINE_INCLUDE} ${source}
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "${source} does not compile with ${MINGW_CXX}")
      endif()
    endif()
  endforeach()
  message(STATUS "the window's logic compiles with ${MINGW_CXX}")
else()
  message(STATUS "no MinGW-w64 compiler here: only the includes were checked")
endif()
