# SPDX-License-Identifier: GPL-3.0-or-later
# Run by ctest for each suite that korvel_discover_tests registered: gives every test in
# korvel_tests_to_label the labels its suite's name asks for (see tests/CMakeLists.txt).
# Tests of the engine that need what only POSIX systems give it (FIFOs, devices, sockets, owners
# and modes, symbolic links made by anyone, fork, ulimit, mounts, sha256sum). They are built on
# POSIX alone; the label says so where they run.
set(korvel_posix_only_tests
    "^(shm\\.)?(FullDisk|Crash|Resplit|SpecialFiles|SetGuard|LongPaths|SplitSource|SplitWhileWritten|BringingIn)\\."
    "^(shm\\.)?HostileSet\\.(a_fifo_as|an_output_that_is_a_device|a_dangling_link_as_output|a_replaced_output_loses|a_replaced_output_open_to_all|another_users_link_or_file|a_merge_into_a_new_name_takes|an_output_folder_the_user_may_not)"
    "^(shm\\.)?ChecksumList\\.(sha256sum_checks|names_with_a_backslash|covers_an_older_longer|one_regenerated_in_the_shells)"
    "^(shm\\.)?CheckedSet\\.(the_forms_other_tools|a_missing_or_doubled_line|a_checksum_list_that_is_a_link)"
    "^(shm\\.)?(TwoSplits\\.a_second_split_of_a_file_being_split|SetLength\\.a_set_of_2_gib_or_more_needs_the_shape)"
    "^(shm\\.)?SplitDuringMerge\\.a_set_another_split_renames_in_after"
    "^(shm\\.)?SetWithOutput\\.(replacing_an_existing_longer_output|a_symbolic_link_as_output)"
    "^(shm\\.)?(Split\\.path_is_used_exactly_as_given|Split\\.too_many_pieces_names|OddNames\\.stars_question_marks)")

foreach(korvel_test IN LISTS korvel_tests_to_label)
  set(korvel_labels "")
  if(korvel_test MATCHES "OnPosix\\.")
    list(APPEND korvel_labels posix-only)
  endif()
  foreach(korvel_pattern IN LISTS korvel_posix_only_tests)
    if(korvel_test MATCHES "${korvel_pattern}")
      list(APPEND korvel_labels posix-only)
    endif()
  endforeach()
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
