# SPDX-License-Identifier: GPL-3.0-or-later
# Run by ctest for each suite that korvel_discover_tests registered: gives every test in
# korvel_tests_to_label the labels its suite's name asks for (see tests/CMakeLists.txt).
foreach(korvel_test IN LISTS korvel_tests_to_label)
  set(korvel_labels "")
  if(korvel_test MATCHES "OnPosix\\.")
    list(APPEND korvel_labels posix-only)
  endif()
  if(korvel_test MATCHES "OnWindows\\.")
    list(APPEND korvel_labels windows-only)
  endif()
  if(korvel_test MATCHES "Large\\.")
    list(APPEND korvel_labels large)
  endif()
  if(korvel_labels)
    set_tests_properties("${korvel_test}" PROPERTIES LABELS "${korvel_labels}")
  endif()
endforeach()
