# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the licence texts of what the static program carries besides its own code, taken from
# Debian's copyright files of the packages that built it:
#   GCC-RUNTIME-LIBRARY-EXCEPTION.txt  libgcc and libstdc++ (GPL-3.0 with this exception)
#   WINPTHREADS-LICENSE.txt            MinGW-w64's winpthreads (std::thread and its kin)
# cmake -DGCC_COPYRIGHT=... -DMINGW_COPYRIGHT=... -DOUT=folder -P LicenceTexts.cmake
foreach(input GCC_COPYRIGHT MINGW_COPYRIGHT)
  if(NOT EXISTS "${${input}}")
    message(FATAL_ERROR "${${input}} is missing: run scripts/setup.sh windows")
  endif()
endforeach()

# The exception runs from its heading to the next file's notice.
file(READ "${GCC_COPYRIGHT}" gcc)
string(FIND "${gcc}" "GCC RUNTIME LIBRARY EXCEPTION" start)
string(FIND "${gcc}" "libquadmath/*.[hc]:" end)
if(start LESS 0 OR end LESS_EQUAL start)
  message(FATAL_ERROR "no GCC Runtime Library Exception in ${GCC_COPYRIGHT}")
endif()
math(EXPR length "${end} - ${start}")
string(SUBSTRING "${gcc}" ${start} ${length} exception)
string(STRIP "${exception}" exception)
file(WRITE "${OUT}/GCC-RUNTIME-LIBRARY-EXCEPTION.txt"
     "The program contains parts of GCC's runtime libraries (libgcc, libstdc++), which are\n"
     "licensed under the GNU General Public License version 3 (see LICENSE.txt) with the\n"
     "following exception. From ${GCC_COPYRIGHT}:\n\n${exception}\n")

# winpthreads: its paragraphs of the machine-readable copyright file, less its tests, which
# the program does not carry, and the full texts of the licences they name.
file(READ "${MINGW_COPYRIGHT}" mingw)
string(REPLACE ";" "\\;" mingw "${mingw}")
string(REGEX REPLACE "\n\n" ";" paragraphs "${mingw}")
set(kept "")
set(licences "")
foreach(paragraph IN LISTS paragraphs)
  string(STRIP "${paragraph}" paragraph)
  if(paragraph MATCHES "^Files: mingw-w64-libraries/winpthreads/" AND
     NOT paragraph MATCHES "^Files: mingw-w64-libraries/winpthreads/tests_pthread/")
    string(APPEND kept "${paragraph}\n\n")
    string(REGEX MATCH "\nLicense: ([^\n]+)" named "${paragraph}")
    list(APPEND licences "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES licences)
foreach(paragraph IN LISTS paragraphs)
  string(STRIP "${paragraph}" paragraph)
  foreach(licence IN LISTS licences)
    if(paragraph MATCHES "^License: ${licence}\n")
      string(APPEND kept "${paragraph}\n\n")
    endif()
  endforeach()
endforeach()
if(kept STREQUAL "")
  message(FATAL_ERROR "no winpthreads paragraphs in ${MINGW_COPYRIGHT}")
endif()
string(REPLACE "\\;" ";" kept "${kept}")
file(WRITE "${OUT}/WINPTHREADS-LICENSE.txt"
     "The program contains MinGW-w64's winpthreads library. From ${MINGW_COPYRIGHT}:\n\n"
     "${kept}")
