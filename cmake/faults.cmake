# The fault tests run the real program as a child process in folders of their own, with a
# small preloaded library that counts the frames it shows. The library stays free of
# sanitizers (it is loaded into the program before their run-times).
add_library(gw_frame_counter MODULE tests/support/frame_counter.cpp)
target_link_libraries(gw_frame_counter PRIVATE PkgConfig::SDL ${CMAKE_DL_LIBS})
target_compile_options(gw_frame_counter PRIVATE -fno-sanitize=all)
target_link_options(gw_frame_counter PRIVATE -fno-sanitize=all)

# The soak runs the whole demo, which reads "fonts16.bin" from the build folder.
function(gw_soak_assets)
  if(TARGET test_soak AND TARGET fonts16)
    add_dependencies(test_soak fonts16)
  endif()
endfunction()
cmake_language(DEFER CALL gw_soak_assets)

if(TARGET test_faults)
  target_compile_definitions(test_faults PRIVATE
    GW_FRAME_COUNTER="$<TARGET_FILE:gw_frame_counter>"
    GW_PROGRAM="$<TARGET_FILE:glasswhirligo>")
  add_dependencies(test_faults glasswhirligo gw_frame_counter)
  # The song, the font file and the capture tool come from other cmake parts, some of them
  # included after this one.
  function(gw_fault_test_assets)
    foreach(asset fonts16 demosong)
      if(TARGET ${asset})
        add_dependencies(test_faults ${asset})
      endif()
    endforeach()
    if(TARGET glasswhirligo-capture)
      add_dependencies(test_faults glasswhirligo-capture)
      target_compile_definitions(test_faults PRIVATE
        GW_CAPTURE="$<TARGET_FILE:glasswhirligo-capture>")
    endif()
  endfunction()
  cmake_language(DEFER CALL gw_fault_test_assets)
endif()
