# Writes the site's service worker from web/page/sw.js: the cache's name is the version and a
# hash of every file it keeps, so that any new build, not only a new version, replaces the cache.
#   cmake -DTEMPLATE=sw.js -DSITE=dir -DVERSION=x.y.z -DFILES="a;b" -DOUT=dir/sw.js -P make_sw.cmake
set(hashes "")
set(quoted "'./'")
foreach(f ${FILES})
  if(NOT EXISTS ${SITE}/${f})
    message(FATAL_ERROR "make_sw: ${SITE}/${f} is missing")
  endif()
  file(SHA256 ${SITE}/${f} h)
  string(APPEND hashes "${f} ${h}\n")
  string(APPEND quoted ", '${f}'")
endforeach()
string(SHA256 all "${hashes}")
string(SUBSTRING ${all} 0 12 short)
set(GW_CACHE_NAME "glasswhirligo-${VERSION}-${short}")
set(GW_SITE_FILES "${quoted}")
configure_file(${TEMPLATE} ${OUT} @ONLY)
