# SPDX-License-Identifier: GPL-3.0-or-later
# What is handed to Windows users, in build/<preset>/dist:
#   korvel-splitter.exe                          the program, static and stripped
#   korvel.exe                                   the command line (a console program), the same
#   korvel-splitter-<version>-windows-x64.zip    both programs, LICENSE.txt and the licence
#                                                texts of the runtime libraries they carry
#   korvel-splitter-<version>-setup-x64.exe      the installer (NSIS), when makensis is installed
# scripts/windows.sh builds them in a release build and gathers them in build/windows-dist.
set(KORVEL_DIST ${CMAKE_BINARY_DIR}/dist CACHE INTERNAL "")
set(zip_name korvel-splitter-${PROJECT_VERSION}-windows-x64)
set(stage ${CMAKE_CURRENT_BINARY_DIR}/package/${zip_name})
set(program ${KORVEL_DIST}/korvel-splitter.exe)
set(command_line ${KORVEL_DIST}/korvel.exe)
set(zip ${KORVEL_DIST}/${zip_name}.zip)
set(setup ${KORVEL_DIST}/korvel-splitter-${PROJECT_VERSION}-setup-x64.exe)
# Debian's copyright files of the packages whose libraries the static program carries: GCC's
# (libgcc, libstdc++: the runtime library exception) and MinGW-w64's (winpthreads, the runtime).
set(KORVEL_GCC_COPYRIGHT /usr/share/doc/gcc-mingw-w64-x86-64-posix/copyright
    CACHE FILEPATH "Debian's copyright file of the MinGW-w64 GCC")
set(KORVEL_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-x86-64-dev/copyright
    CACHE FILEPATH "Debian's copyright file of the MinGW-w64 runtime")
set(licences ${stage}/LICENSE.txt ${stage}/GCC-RUNTIME-LIBRARY-EXCEPTION.txt
             ${stage}/WINPTHREADS-LICENSE.txt ${stage}/MINGW-W64-RUNTIME-LICENSE.txt
             ${stage}/FAST-FLOAT-LICENSE.txt)

add_custom_command(OUTPUT ${program}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVEL_DIST}
                   COMMAND ${CMAKE_STRIP} --strip-all -o ${program} $<TARGET_FILE:korvel-splitter>
                   DEPENDS korvel-splitter
                   COMMENT "Stripping korvel-splitter.exe" VERBATIM)
add_custom_command(OUTPUT ${command_line}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVEL_DIST}
                   COMMAND ${CMAKE_STRIP} --strip-all -o ${command_line} $<TARGET_FILE:korvel>
                   DEPENDS korvel
                   COMMENT "Stripping korvel.exe" VERBATIM)
add_custom_command(OUTPUT ${licences}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE
                           ${stage}/LICENSE.txt
                   COMMAND ${CMAKE_COMMAND} -DGCC_COPYRIGHT=${KORVEL_GCC_COPYRIGHT}
                           -DMINGW_COPYRIGHT=${KORVEL_MINGW_COPYRIGHT} -DOUT=${stage}
                           -P ${CMAKE_CURRENT_SOURCE_DIR}/LicenceTexts.cmake
                   DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LicenceTexts.cmake
                           ${KORVEL_GCC_COPYRIGHT} ${KORVEL_MINGW_COPYRIGHT}
                   COMMENT "Gathering the licence texts" VERBATIM)
add_custom_command(OUTPUT ${zip}
                   COMMAND ${CMAKE_COMMAND} -E copy ${program} ${stage}/korvel-splitter.exe
                   COMMAND ${CMAKE_COMMAND} -E copy ${command_line} ${stage}/korvel.exe
                   COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
                   COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_CURRENT_BINARY_DIR}/package
                           ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${zip_name}
                   DEPENDS ${program} ${command_line} ${licences}
                   COMMENT "Packing ${zip_name}.zip" VERBATIM)

find_program(KORVEL_MAKENSIS makensis)
if(KORVEL_MAKENSIS)
  add_custom_command(OUTPUT ${setup}
                     COMMAND ${KORVEL_MAKENSIS} -V2 -INPUTCHARSET UTF8
                             -DVERSION=${PROJECT_VERSION} -DVERSION_QUAD=${KORVEL_VERSION_QUAD}
                             -DPROGRAM=${program} -DCOMMAND_LINE=${command_line}
                             -DLICENCES=${stage} -DICON=${KORVEL_ICON}
                             -DOUTFILE=${setup} ${CMAKE_CURRENT_SOURCE_DIR}/installer/korvel-splitter.nsi
                     DEPENDS ${program} ${command_line} ${licences} ${KORVEL_ICON}
                             ${CMAKE_CURRENT_SOURCE_DIR}/installer/korvel-splitter.nsi
                     COMMENT "Making the installer" VERBATIM)
  add_custom_target(windows-packages ALL DEPENDS ${program} ${command_line} ${zip} ${setup})
else()
  message(STATUS "makensis not found: no installer (scripts/setup.sh windows installs nsis)")
  add_custom_target(windows-packages ALL DEPENDS ${program} ${command_line} ${zip})
endif()
