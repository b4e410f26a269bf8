# The plain loops' frame check (tools/check-plain.sh) as a CTest entry, so that a quick `ctest`
# also sees a slip in a loop the wide paths hide on this machine. It configures and builds a tree
# of its own beside this one and takes minutes: `ctest -LE plain` leaves it out. The sanitizer
# and plain builds do not carry it, nor do the cross builds (they have no wide paths).
if(NOT GW_SANITIZE AND NOT GW_PLAIN_LOOPS AND NOT GW_FUZZ AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME check_plain
           COMMAND ${CMAKE_SOURCE_DIR}/tools/check-plain.sh ${CMAKE_BINARY_DIR}-plain)
  set_tests_properties(check_plain PROPERTIES LABELS plain TIMEOUT 3600)
endif()
