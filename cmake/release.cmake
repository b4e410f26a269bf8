# The release's info files, glasswhirligo.nfo and file_id.diz, from packaging/info.txt with the
# project's version (the Windows and web zips and the release folder carry them).
set(GW_RELEASE_INFO ${CMAKE_BINARY_DIR}/release-info)
add_custom_command(
  OUTPUT ${GW_RELEASE_INFO}/glasswhirligo.nfo ${GW_RELEASE_INFO}/file_id.diz
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py ${CMAKE_SOURCE_DIR}/packaging/info.txt
          ${PROJECT_VERSION} ${GW_RELEASE_INFO}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_info.py ${CMAKE_SOURCE_DIR}/packaging/info.txt
  COMMENT "Writing glasswhirligo.nfo and file_id.diz"
  VERBATIM)
add_custom_target(release_info ALL DEPENDS ${GW_RELEASE_INFO}/glasswhirligo.nfo
  ${GW_RELEASE_INFO}/file_id.diz)

# The written files keep to 80 columns and 45 x 10, in plain ASCII, with nothing left unfilled;
# sources that break a limit are refused.
add_test(NAME info_files_fit COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py --check
  ${GW_RELEASE_INFO}/glasswhirligo.nfo ${GW_RELEASE_INFO}/file_id.diz)
file(GLOB GW_BAD_INFO ${CMAKE_SOURCE_DIR}/tests/data/info/*.txt)
foreach(bad ${GW_BAD_INFO})
  get_filename_component(name ${bad} NAME_WE)
  add_test(NAME info_refuses_${name} COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py
    ${bad} ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/refused-info/${name})
  set_tests_properties(info_refuses_${name} PROPERTIES WILL_FAIL TRUE)
endforeach()
foreach(bad wide_nfo long_diz unfilled)
  add_test(NAME info_check_refuses_${bad} COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py --check
    ${CMAKE_SOURCE_DIR}/tests/data/info/${bad}.nfo ${CMAKE_SOURCE_DIR}/tests/data/info/${bad}.diz)
  set_tests_properties(info_check_refuses_${bad} PROPERTIES WILL_FAIL TRUE)
endforeach()
# A source at every limit (45 columns and 10 lines of diz, 76 columns of nfo body) is taken.
add_test(NAME info_takes_limits COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py
  ${CMAKE_SOURCE_DIR}/tests/data/info/at_limits.source ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/limits-info)
add_test(NAME info_check_takes_limits COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py --check
  ${CMAKE_BINARY_DIR}/limits-info/glasswhirligo.nfo ${CMAKE_BINARY_DIR}/limits-info/file_id.diz)
set_tests_properties(info_check_takes_limits PROPERTIES DEPENDS info_takes_limits)
add_test(NAME info_refuses_bad_version COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_info.py
  ${CMAKE_SOURCE_DIR}/packaging/info.txt 1.0 ${CMAKE_BINARY_DIR}/refused-info/bad_version)
set_tests_properties(info_refuses_bad_version PROPERTIES WILL_FAIL TRUE)
# A refused source leaves nothing behind.
add_test(NAME info_refused_writes_nothing COMMAND sh -c "! ls ${CMAKE_BINARY_DIR}/refused-info/*/* 2>/dev/null")
set(GW_REFUSALS ${GW_BAD_INFO})
list(TRANSFORM GW_REFUSALS REPLACE ".*/([a-z_]+)\\.txt$" "info_refuses_\\1")
list(APPEND GW_REFUSALS info_refuses_bad_version)
# The refusals start from an empty folder, so that an earlier run's files cannot count.
add_test(NAME info_refusals_start_clean COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/refused-info)
set_tests_properties(info_refusals_start_clean PROPERTIES FIXTURES_SETUP info_refusals)
set_tests_properties(${GW_REFUSALS} PROPERTIES FIXTURES_REQUIRED info_refusals)
set_tests_properties(info_refused_writes_nothing PROPERTIES DEPENDS "${GW_REFUSALS}"
  FIXTURES_REQUIRED info_refusals)

# The portable Linux archive's program: the same as glasswhirligo, but it finds the libraries it
# carries in ../lib beside its folder. A DT_RPATH, not a DT_RUNPATH: the SDL 1.2 layer opens SDL 2
# itself, and only the program's DT_RPATH reaches such a library's own lookups.
add_executable(glasswhirligo_portable show/main.cpp)
target_link_libraries(glasswhirligo_portable PRIVATE glasswhirligo_core)
target_link_options(glasswhirligo_portable PRIVATE -Wl,--disable-new-dtags -s)
set_target_properties(glasswhirligo_portable PROPERTIES OUTPUT_NAME glasswhirligo
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/portable
  BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN/../lib")
# A cross build makes its archive too (arch_checks is defined once every part is read).
cmake_language(DEFER CALL add_dependencies arch_checks glasswhirligo_portable release_info)
