# The fault tests run the real program as a child process in folders of their own, with a
# small preloaded library that counts the frames it shows. The library stays free of
# sanitizers (it is loaded into the program before their run-times).
add_library(gw_frame_counter MODULE tests/support/frame_counter.cpp)
target_link_libraries(gw_frame_counter PRIVATE PkgConfig::SDL ${CMAKE_DL_LIBS})
target_include_directories(gw_frame_counter PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(gw_frame_counter PRIVATE -fno-sanitize=all)
target_link_options(gw_frame_counter PRIVATE -fno-sanitize=all)

# The soak runs the whole demo, which reads its data files from the build folder.
gw_needs_data_files(test_soak)

if(TARGET test_faults)
  target_compile_definitions(test_faults PRIVATE
    GW_FRAME_COUNTER="$<TARGET_FILE:gw_frame_counter>"
    GW_PROGRAM="$<TARGET_FILE:glasswhirligo>")
  add_dependencies(test_faults glasswhirligo gw_frame_counter)
  gw_needs_data_files(test_faults)
  # The capture tool comes from another cmake part.
  function(gw_fault_test_capture)
    if(TARGET glasswhirligo-capture)
      add_dependencies(test_faults glasswhirligo-capture)
      target_compile_definitions(test_faults PRIVATE
        GW_CAPTURE="$<TARGET_FILE:glasswhirligo-capture>")
    endif()
  endfunction()
  cmake_language(DEFER CALL gw_fault_test_capture)
endif()
