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
endif()
