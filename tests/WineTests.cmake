# SPDX-License-Identifier: GPL-3.0-or-later
# Testing the Windows build under wine: GoogleTest built with the cross compiler, and one wine
# session that every test runs in.

# Debian ships no MinGW build of GoogleTest, only its sources (package googletest), which
# define GTest::gtest and GTest::gtest_main as the installed package does.
set(KORVEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KORVEL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The prefix lives in the build folder, away from the user's own ~/.wine. mscoree and mshtml
# are switched off so that a fresh prefix does not offer to install Mono and Gecko, and wine's
# own diagnostics stay out of the tests' output.
set(KORVEL_WINE_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wine" "WINEDLLOVERRIDES=mscoree,mshtml="
                            "WINEDEBUG=-all")
# Test executables made in this folder and below run through the emulator with that
# environment, both when their tests are discovered at build time and when ctest runs them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${KORVEL_WINE_ENVIRONMENT}
                                  ${CMAKE_CROSSCOMPILING_EMULATOR})

# Started once before the tests and ended after them: otherwise wine starts and ends its
# session around every test, about 2.5 s each as measured here. The start script detaches wine
# from ctest's output, which wine's session processes would inherit and hold open.
add_test(NAME wine.start COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh start)
add_test(NAME wine.stop COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
set_tests_properties(wine.start wine.stop PROPERTIES ENVIRONMENT "${KORVEL_WINE_ENVIRONMENT}")
