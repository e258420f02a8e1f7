# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -D NM=<nm> -D "EXECUTABLES=<unstripped .exe>;..." -D ZIP=<package .zip>
#       -D INSTALLER=<.nsi> -D WORK=<scratch folder> -P CheckNotices.cmake
# Fails when one of the static programs links a part of the compiler's runtime whose licence
# notice the zip lacks, or that the installer script does not install and remove. Which parts
# are linked is read from the programs' symbols: the table below maps telling ones to the part.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK}")
file(GLOB folder LIST_DIRECTORIES true "${WORK}/*")
list(LENGTH folder folders)
if(NOT folders EQUAL 1)
  message(FATAL_ERROR "${ZIP} does not hold one folder")
endif()
file(READ "${INSTALLER}" installer)

set(symbols "")
foreach(executable IN LISTS EXECUTABLES)
  get_filename_component(name "${executable}" NAME)
  if(NOT EXISTS "${folder}/${name}")
    message(FATAL_ERROR "${ZIP} does not hold ${name}")
  endif()
  execute_process(COMMAND "${NM}" -P "${executable}" OUTPUT_VARIABLE dump RESULT_VARIABLE result
                  ERROR_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} could not read the symbols of ${executable}")
  endif()
  string(REPLACE ";" "" dump "${dump}")
  string(REGEX REPLACE " [^\n]*" "" dump "${dump}")  # the names alone
  string(REPLACE "\n" ";" found "${dump}")
  # Without the runtime's start-up code, the symbols were not read: a stripped program would
  # pass.
  set(start ${found})
  list(FILTER start INCLUDE REGEX "^(mainCRTStartup|WinMainCRTStartup)$")
  if(NOT start)
    message(FATAL_ERROR "no symbol of MinGW-w64's start-up code in ${executable}: stripped?")
  endif()
  list(APPEND symbols ${found})
endforeach()
if(NOT symbols)
  message(FATAL_ERROR "no programs given (-D EXECUTABLES=...)")
endif()
list(REMOVE_DUPLICATES symbols)

set(problems "")
set(linked "")
# notice(<part> <symbols regex> <notice file> <phrase>...): when a symbol matches, the zip's
# folder must hold the notice file with every phrase (compared with blanks made single), and
# the installer script must install and remove the file.
function(notice part pattern name)
  set(found ${symbols})
  list(FILTER found INCLUDE REGEX "${pattern}")
  if(NOT found)
    message(STATUS "${part}: not linked")
    return()
  endif()
  list(TRANSFORM found REPLACE "^\\.[a-z]+\\$" "")  # .text$name, a section of name
  list(REMOVE_DUPLICATES found)
  list(SUBLIST found 0 3 shown)
  string(REPLACE ";" ", " shown "${shown}")
  message(STATUS "${part}: ${shown} -> ${name}")
  set(linked "${linked};${part}" PARENT_SCOPE)
  if(NOT EXISTS "${folder}/${name}")
    list(APPEND problems "${part} is linked (${shown}), but the zip has no ${name}")
  else()
    file(READ "${folder}/${name}" text)
    string(REGEX REPLACE "[ \t\r\n]+" " " text "${text}")
    foreach(phrase IN LISTS ARGN)
      string(FIND "${text}" "${phrase}" at)
      if(at LESS 0)
        list(APPEND problems "${name} lacks \"${phrase}\" (${part})")
      endif()
    endforeach()
  endif()
  foreach(line "File \"\${LICENCES}\\${name}\"" "Delete \"$INSTDIR\\${name}\"")
    string(FIND "${installer}" "${line}" at)
    if(at LESS 0)
      list(APPEND problems "the installer script lacks: ${line}")
    endif()
  endforeach()
  set(problems "${problems}" PARENT_SCOPE)
endfunction()

set(gcc_exception "GCC RUNTIME LIBRARY EXCEPTION" "Version 3.1, 31 March 2009")
notice("libstdc++" "^(__cxa_throw|__gxx_personality_seh0|_ZSt9terminatev)$"
       GCC-RUNTIME-LIBRARY-EXCEPTION.txt ${gcc_exception})
notice("libgcc" "^(___chkstk_ms|_Unwind_Resume|__emutls_get_address)$"
       GCC-RUNTIME-LIBRARY-EXCEPTION.txt ${gcc_exception})
notice("libssp" "^(__stack_chk_fail|__chk_fail)$"
       GCC-RUNTIME-LIBRARY-EXCEPTION.txt ${gcc_exception})
notice("fast_float (libstdc++'s from_chars)" "fast_float" FAST-FLOAT-LICENSE.txt
       "Copyright (c) 2021 The fast_float authors"
       "The above copyright notice and this permission notice shall be included")
notice("winpthreads" "^(pthread_create|pthread_mutex_lock|pthread_cond_wait)$"
       WINPTHREADS-LICENSE.txt "Files: mingw-w64-libraries/winpthreads/*" "License: expat"
       "Permission is hereby granted, free of charge")
notice("mingw-w64-crt" "^(mainCRTStartup|WinMainCRTStartup|_pei386_runtime_relocator)$"
       MINGW-W64-RUNTIME-LICENSE.txt "License: ZPL-2.1"
       "Redistributions in binary form must reproduce the accompanying copyright notice")
notice("gdtoa (mingw-w64-crt)" "^(__gdtoa|__freedtoa|__.*_D2A)$"
       MINGW-W64-RUNTIME-LICENSE.txt "Files: mingw-w64-crt/gdtoa/*"
       "Copyright: 1997-2001 Lucent Technologies" "permission notice and warranty disclaimer")
notice("printf family (mingw-w64-crt)" "^(__mingw_pformat|__mingw_vsnprintf|__mingw_vsprintf)$"
       MINGW-W64-RUNTIME-LICENSE.txt "mingw-w64-crt/stdio/mingw_pformat"
       "Copyright: Keith Marshall")

if(problems)
  list(REMOVE_DUPLICATES problems)
  list(JOIN problems "\n  " problems)
  message(FATAL_ERROR "the packages lack licence notices of what the programs link:\n  ${problems}")
endif()
