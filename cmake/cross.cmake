# A cross build (make cross ARCH=arm64|armhf, toolchains/) runs its tests under the emulator
# that CMAKE_CROSSCOMPILING_EMULATOR names; the tests that start the built programs as child
# processes start them through it too (tests/support/emulator.h).
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(gw_emulator_words "")
  foreach(word ${CMAKE_CROSSCOMPILING_EMULATOR})
    list(APPEND gw_emulator_words "\"${word}\"")
  endforeach()
  list(JOIN gw_emulator_words "," gw_emulator_words)
  foreach(src ${TEST_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    target_compile_definitions(${name} PRIVATE "GW_EMULATOR=${gw_emulator_words}")
    # Emulated code runs several times slower: the limit grows with it.
    set_tests_properties(${name} PROPERTIES TIMEOUT 3600)
  endforeach()
  # One start of the real program and its way out, through the emulator: the pad's button
  # during the loading screen ends it after the first frame.
  if(TARGET test_faults)
    add_test(NAME start_and_exit COMMAND test_faults
             --gtest_filter=Program.EscapeOrAPadButtonDuringLoadingEndsTheDemoAfterItsFirstFrame
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(start_and_exit PROPERTIES ENVIRONMENT "${GW_TEST_ENV}" TIMEOUT 3600
                         LABELS arch)
  endif()
endif()
