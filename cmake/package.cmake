# What is installed, and the Debian package of it (make package: cpack -G DEB in each build).
# The layout follows Debian's for games: the program in <prefix>/games, its font and song in
# <prefix>/share/glasswhirligo, where the program finds them relative to itself.
add_executable(make_icon tools/make_icon.cpp)
target_link_libraries(make_icon PRIVATE PkgConfig::PNG)

set(GW_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(GW_PACKAGE_FILES ${CMAKE_BINARY_DIR}/package-files)
add_custom_command(
  OUTPUT ${GW_PACKAGE_FILES}/glasswhirligo.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${GW_PACKAGE_FILES}
  COMMAND make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png ${GW_PACKAGE_FILES}/glasswhirligo.png
  DEPENDS make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png
  COMMENT "Drawing the menu icon from the logo"
  VERBATIM)
# The web page's home-screen icons, the same badge larger (web/ copies them into its site).
foreach(size 192 512)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/web-icons/icon-${size}.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/web-icons
    COMMAND make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png ${CMAKE_BINARY_DIR}/web-icons/icon-${size}.png ${size}
    DEPENDS make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png
    COMMENT "Drawing the web page's ${size} px icon from the logo"
    VERBATIM)
  list(APPEND GW_WEB_ICONS ${CMAKE_BINARY_DIR}/web-icons/icon-${size}.png)
endforeach()
add_custom_target(web_icons ALL DEPENDS ${GW_WEB_ICONS})
# The Windows program's icon: the same badge at the sizes Explorer and the taskbar use, in one
# .ico (windows/ builds it into the program's resources).
set(GW_WINDOWS_ICON ${CMAKE_BINARY_DIR}/windows-icon/glasswhirligo.ico)
foreach(size 16 32 48 256)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/windows-icon/icon-${size}.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows-icon
    COMMAND make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png ${CMAKE_BINARY_DIR}/windows-icon/icon-${size}.png ${size}
    DEPENDS make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png
    VERBATIM)
  list(APPEND GW_WINDOWS_ICON_PNGS ${CMAKE_BINARY_DIR}/windows-icon/icon-${size}.png)
endforeach()
add_custom_command(OUTPUT ${GW_WINDOWS_ICON}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_ico.py ${GW_WINDOWS_ICON} ${GW_WINDOWS_ICON_PNGS}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_ico.py ${GW_WINDOWS_ICON_PNGS}
  COMMENT "Packing the Windows icon from the logo at 16, 32, 48 and 256 px"
  VERBATIM)
add_custom_target(windows_icon ALL DEPENDS ${GW_WINDOWS_ICON})
# Pictures an icon cannot hold are refused, and no .ico is left: one larger than 256 px, one that
# is not square, one size twice.
set(GW_ICO_REFUSED ${CMAKE_BINARY_DIR}/windows-icon/refused.ico)
set(GW_ICON_16 ${CMAKE_BINARY_DIR}/windows-icon/icon-16.png)
foreach(case "too_large;${CMAKE_BINARY_DIR}/web-icons/icon-512.png"
              "not_square;${CMAKE_SOURCE_DIR}/tests/data/icon/not-square.png" "twice;${GW_ICON_16};${GW_ICON_16}")
  list(POP_FRONT case name)
  add_test(NAME make_ico_refuses_${name}
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_ico.py ${GW_ICO_REFUSED} ${case})
  set_tests_properties(make_ico_refuses_${name} PROPERTIES WILL_FAIL TRUE)
  list(APPEND GW_ICO_REFUSALS make_ico_refuses_${name})
endforeach()
add_test(NAME make_ico_refused_writes_nothing COMMAND sh -c "! test -e ${GW_ICO_REFUSED}")
add_test(NAME make_ico_refusals_start_clean COMMAND ${CMAKE_COMMAND} -E rm -f ${GW_ICO_REFUSED})
set_tests_properties(make_ico_refusals_start_clean PROPERTIES FIXTURES_SETUP ico_refusals)
set_tests_properties(${GW_ICO_REFUSALS} PROPERTIES FIXTURES_REQUIRED ico_refusals)
set_tests_properties(make_ico_refused_writes_nothing PROPERTIES DEPENDS "${GW_ICO_REFUSALS}"
  FIXTURES_REQUIRED ico_refusals)
# A size out of range is refused, and no icon is written.
add_test(NAME make_icon_refuses_size
  COMMAND make_icon ${CMAKE_SOURCE_DIR}/data/frondle.png ${CMAKE_BINARY_DIR}/web-icons/refused.png 8)
set_tests_properties(make_icon_refuses_size PROPERTIES WILL_FAIL TRUE)
# Debian wants the manual page and the changelog compressed, without a time stamp.
foreach(doc glasswhirligo.6 changelog)
  add_custom_command(
    OUTPUT ${GW_PACKAGE_FILES}/${doc}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${GW_PACKAGE_FILES}
    COMMAND gzip -9n -c ${GW_PACKAGING}/${doc} > ${GW_PACKAGE_FILES}/${doc}.gz
    DEPENDS ${GW_PACKAGING}/${doc}
    COMMENT "Compressing ${doc}")
endforeach()
add_custom_target(package_files ALL DEPENDS ${GW_PACKAGE_FILES}/glasswhirligo.png
  ${GW_PACKAGE_FILES}/glasswhirligo.6.gz ${GW_PACKAGE_FILES}/changelog.gz)

install(TARGETS glasswhirligo DESTINATION games COMPONENT demo)
install(FILES ${CMAKE_BINARY_DIR}/fonts16.bin ${CMAKE_BINARY_DIR}/demosong.ogg
  DESTINATION share/glasswhirligo COMPONENT demo)
install(FILES ${GW_PACKAGING}/glasswhirligo.desktop DESTINATION share/applications COMPONENT demo)
install(FILES ${GW_PACKAGE_FILES}/glasswhirligo.png
  DESTINATION share/icons/hicolor/128x128/apps COMPONENT demo)
install(FILES ${GW_PACKAGE_FILES}/glasswhirligo.6.gz DESTINATION share/man/man6 COMPONENT demo)
install(FILES ${GW_PACKAGING}/copyright ${GW_PACKAGE_FILES}/changelog.gz
  DESTINATION share/doc/glasswhirligo COMPONENT demo)

# The Debian architecture of the build: a cross build names its target.
set(GW_DEB_ARCH_OF_aarch64 arm64)
set(GW_DEB_ARCH_OF_arm armhf)
if(CMAKE_CROSSCOMPILING)
  set(GW_DEB_ARCH ${GW_DEB_ARCH_OF_${CMAKE_SYSTEM_PROCESSOR}})
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE GW_DEB_ARCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glasswhirligo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Glasswhirligo developers")
set(CPACK_PACKAGE_CONTACT "Glasswhirligo developers <maintainers@glasswhirligo.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running audiovisual demo")
# CPack puts the summary first and indents each line of the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Glasswhirligo plays 320 x 240 pixels of 16-bit colour, every one drawn by its
own code, to one original song: an animated loading screen, then seven parts
for about four minutes. It runs in a window, or full-screen with any argument;
Escape or any gamepad button ends it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};glasswhirligo;demo;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${GW_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
# Depends comes from dpkg-shlibdeps on the stripped program, run when cpack packs
# (packaging/depends.cmake); a cross build looks the target's libraries up in its sysroot.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-project.cmake)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/cpack-project.cmake CONTENT
"set(GW_PACKAGE_PROGRAM \"$<TARGET_FILE:glasswhirligo>\")
set(GW_DEB_ARCH \"${GW_DEB_ARCH}\")
set(GW_SYSROOT \"${CMAKE_SYSROOT}\")
include(\"${GW_PACKAGING}/depends.cmake\")
")
include(CPack)
