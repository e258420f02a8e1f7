# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the licence texts of what the static program carries besides its own code, taken from
# Debian's copyright files of the packages that built it:
#   GCC-RUNTIME-LIBRARY-EXCEPTION.txt  libgcc and libstdc++ (GPL-3.0 with this exception)
#   WINPTHREADS-LICENSE.txt            MinGW-w64's winpthreads (std::thread and its kin)
#   MINGW-W64-RUNTIME-LICENSE.txt      MinGW-w64's runtime: start-up code, msvcrt's import
#                                      library, gdtoa and the printf family
#   FAST-FLOAT-LICENSE.txt             fast_float, inside libstdc++'s std::from_chars
# tests/CheckNotices.cmake checks them against the program's symbols.
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

# The machine-readable copyright file of MinGW-w64, one paragraph a list item.
file(READ "${MINGW_COPYRIGHT}" mingw)
string(REPLACE ";" "\\;" mingw "${mingw}")
string(REGEX REPLACE "\n\n" ";" paragraphs "${mingw}")

# mingw_paragraphs(<out> <wanted> <skipped>): the Files paragraphs that name a file matching
# <wanted> and not <skipped>, then the full texts of the licences they name.
function(mingw_paragraphs out wanted skipped)
  set(kept "")
  set(licences "")
  foreach(paragraph IN LISTS paragraphs)
    string(STRIP "${paragraph}" paragraph)
    if(NOT paragraph MATCHES "^Files:(.*)\nCopyright:.*\nLicense: ([^\n]+)")
      continue()
    endif()
    set(named "${CMAKE_MATCH_2}")
    string(REGEX MATCHALL "[^ \t\n]+" files "${CMAKE_MATCH_1}")
    list(FILTER files INCLUDE REGEX "${wanted}")
    list(FILTER files EXCLUDE REGEX "${skipped}")
    if(files)
      string(APPEND kept "${paragraph}\n\n")
      string(REPLACE " and " ";" named "${named}")  # "BSD-2-clause-NetBSD and ISC"
      list(APPEND licences ${named})
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
    message(FATAL_ERROR "no paragraphs on ${wanted} in ${MINGW_COPYRIGHT}")
  endif()
  string(REPLACE "\\;" ";" kept "${kept}")
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

# winpthreads, less its tests, which the program does not carry.
mingw_paragraphs(kept "^mingw-w64-libraries/winpthreads/"
                 "^mingw-w64-libraries/winpthreads/tests_pthread/")
file(WRITE "${OUT}/WINPTHREADS-LICENSE.txt"
     "The program contains MinGW-w64's winpthreads library. From ${MINGW_COPYRIGHT}:\n\n"
     "${kept}")

# The runtime (mingw-w64-crt): "Files: *" is its default, ZPL-2.1; the paragraphs on its own
# files add public domain code, gdtoa's Lucent and David M. Gay notices and more. Its profiling
# code (profile/) is linked only with -pg, so its paragraphs stay out.
mingw_paragraphs(kept "^\\*$|^mingw-w64-crt/" "^mingw-w64-crt/profile/")
file(WRITE "${OUT}/MINGW-W64-RUNTIME-LICENSE.txt"
     "The program contains parts of MinGW-w64's runtime (mingw-w64-crt): its start-up code,\n"
     "the import library of msvcrt, and C library functions such as the printf family and\n"
     "David M. Gay's floating-point conversions (gdtoa). A file of mingw-w64-crt that no\n"
     "paragraph below names is under ZPL-2.1 (the first paragraph). From ${MINGW_COPYRIGHT}:\n\n"
     "${kept}")

# libstdc++'s std::from_chars for floating-point numbers is fast_float, MIT-licensed. Debian's
# copyright files of GCC do not reproduce its notice; this is the one at the head of
# libstdc++-v3/src/c++17/fast_float/fast_float.h in GCC 12's sources.
file(WRITE "${OUT}/FAST-FLOAT-LICENSE.txt"
     "The program contains the fast_float library (by Daniel Lemire, Joao Paulo Magalhaes and\n"
     "others), which GCC's libstdc++ uses to read floating-point numbers (std::from_chars).\n"
     "Its notice, from libstdc++-v3/src/c++17/fast_float/fast_float.h in GCC's sources:\n\n"
     "MIT License\n\n"
     "Copyright (c) 2021 The fast_float authors\n\n"
     "Permission is hereby granted, free of charge, to any person obtaining a copy of this\n"
     "software and associated documentation files (the \"Software\"), to deal in the Software\n"
     "without restriction, including without limitation the rights to use, copy, modify,\n"
     "merge, publish, distribute, sublicense, and/or sell copies of the Software, and to\n"
     "permit persons to whom the Software is furnished to do so, subject to the following\n"
     "conditions:\n\n"
     "The above copyright notice and this permission notice shall be included in all copies\n"
     "or substantial portions of the Software.\n\n"
     "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED,\n"
     "INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A\n"
     "PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT\n"
     "HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF\n"
     "CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR\n"
     "THE USE OR OTHER DEALINGS IN THE SOFTWARE.\n")
