# The compiled-in pictures: each data/<name>.png is the source a person edits; the build turns it
# into generated/<name>.cpp with png2array and compiles that into the core library.
# tools/paint_assets.cpp painted the committed PNGs; it is built but never run by the build.
add_executable(png2array tools/png2array.cpp)
target_link_libraries(png2array PRIVATE PkgConfig::PNG)

add_executable(paint_assets tools/paint_assets.cpp)
target_link_libraries(paint_assets PRIVATE PkgConfig::PNG)

set(GW_ASSET_DIR ${CMAKE_BINARY_DIR}/generated)

function(gw_picture_asset name format width height)
  set(source ${CMAKE_SOURCE_DIR}/data/${name}.png)
  set(output ${GW_ASSET_DIR}/${name}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${GW_ASSET_DIR}
    COMMAND png2array ${source} ${output} ${name} ${format} ${width} ${height}
    DEPENDS png2array ${source}
    COMMENT "Converting data/${name}.png"
    VERBATIM)
  target_sources(glasswhirligo_core PRIVATE ${output})
endfunction()

gw_picture_asset(frondle rgb565 128 128)
gw_picture_asset(dracul rgb565 128 128)
gw_picture_asset(env1 rgb565 64 64)
gw_picture_asset(text64 xrgb 64 64)
