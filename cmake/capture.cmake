# glasswhirligo-capture: the demo's own frames on the virtual clock, written as a video (through
# ffmpeg), numbered pictures, single moments or frame timings. Installed beside the program.
add_library(gw_capture STATIC
  tools/capture/options.cpp tools/capture/video_clock.cpp tools/capture/picture_files.cpp
  tools/capture/ffmpeg_pipe.cpp tools/capture/progress.cpp)
target_include_directories(gw_capture PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(gw_capture PUBLIC PkgConfig::PNG)

add_executable(glasswhirligo-capture tools/capture/capture_main.cpp)
target_link_libraries(glasswhirligo-capture PRIVATE gw_capture glasswhirligo_core PkgConfig::PNG)
install(TARGETS glasswhirligo-capture DESTINATION bin COMPONENT capture)

# The capture reads "fonts16.bin" and "demosong.ogg" from the folder it runs in.
gw_needs_data_files(glasswhirligo-capture)

# The tests run the built program from the build folder.
if(TARGET test_capture)
  target_link_libraries(test_capture PRIVATE gw_capture)
  add_dependencies(test_capture glasswhirligo-capture)
endif()
