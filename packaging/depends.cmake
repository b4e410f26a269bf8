# Run by cpack before it packs: the package's Depends, from dpkg-shlibdeps on the program.
# A cross build's libraries are in its sysroot, which tools/cross-sysroot.sh gave the symbols
# and shlibs files of the target's packages (-S); DEB_HOST_ARCH names the target.
set(work ${CPACK_PACKAGE_DIRECTORY}/shlibdeps)
file(MAKE_DIRECTORY ${work}/debian)
file(WRITE ${work}/debian/control
     "Source: glasswhirligo\n\nPackage: glasswhirligo\nArchitecture: any\n")
set(search "")
if(GW_SYSROOT)
  set(search -S${GW_SYSROOT})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${GW_DEB_ARCH}
          dpkg-shlibdeps -O ${search} -e${GW_PACKAGE_PROGRAM}
  WORKING_DIRECTORY ${work}
  OUTPUT_VARIABLE shlibs
  ERROR_VARIABLE complaints  # it warns that the program is not in a package tree: it is not
  RESULT_VARIABLE failed)
if(failed OR NOT shlibs MATCHES "shlibs:Depends=([^\n]*)")
  message(FATAL_ERROR "dpkg-shlibdeps found no dependencies for ${GW_PACKAGE_PROGRAM}:\n"
                      "${complaints}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${CMAKE_MATCH_1})
message(STATUS "Depends: ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
