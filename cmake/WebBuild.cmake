# The browser build, configured with `emcmake cmake` by `make web`. The same
# sources as the desktop, minus what only the desktop has (its window, music,
# debug output, EGL context, stills and video, libpng, GL timer queries), plus the
# platform layer of src/platform/web. The page is build-web/index.html with
# index.js, index.wasm and index.data (the shaders and meshes of run/), and
# the tune beside it.

file(GLOB_RECURSE WEB_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
list(FILTER WEB_SOURCES EXCLUDE REGEX
     ".*/src/(video/.*|platform/desktop/.*|render_tool/.*|app/(DebugOutput|Interrupt)\\.cpp|render/(PassTimer|PngImage)\\.cpp)$")
# Of xmastrace_render's work, the page draws a video's frames and reads its
# options as the desktop does; the encoding is the page's script's.
# The page's Unicode rules are the browser's own (src/platform/web).
list(FILTER WEB_SOURCES EXCLUDE REGEX ".*/src/room/TextRulesIcu\\.cpp$")
foreach(shared VideoFrames VideoOptions StillOptions)
  list(APPEND WEB_SOURCES ${CMAKE_SOURCE_DIR}/src/render_tool/${shared}.cpp)
endforeach()

add_executable(xmastrace_web ${WEB_SOURCES})
set_target_properties(xmastrace_web PROPERTIES OUTPUT_NAME index SUFFIX ".html")
# The stand-in for GLEW goes first, so that the shared files' <GL/glew.h>
# finds it.
target_include_directories(xmastrace_web PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/web
                           ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)

# The embedded shader texts, as on the desktop (the function there adds them
# to xmastrace_core).
set(XMASTRACE_SHADER_DIR ${CMAKE_SOURCE_DIR}/src/render/shaders)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated/render)
foreach(shader VoxelShaderFSgiga:PrimaryRayShader:kPrimaryRayFragmentSource
               gigaAOShaderFS:PathTraceShader:kPathTraceFragmentSource
               DenoiseFS:DenoiseShader:kDenoiseFragmentSource
               SumFS:SumShader:kSumFragmentSource
               TemporalFS:TemporalShader:kTemporalFragmentSource)
  string(REPLACE ":" ";" parts ${shader})
  list(GET parts 0 source)
  list(GET parts 1 header)
  list(GET parts 2 name)
  set(output ${CMAKE_BINARY_DIR}/generated/render/${header}.h)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${XMASTRACE_SHADER_DIR}/${source}.glsl -DOUTPUT=${output}
            -DNAME=${name} -P ${CMAKE_SOURCE_DIR}/cmake/EmbedShaders.cmake
    DEPENDS ${XMASTRACE_SHADER_DIR}/${source}.glsl ${CMAKE_SOURCE_DIR}/cmake/EmbedShaders.cmake
    VERBATIM)
  target_sources(xmastrace_web PRIVATE ${output})
endforeach()

set(WEB_PAGE_DIR ${CMAKE_SOURCE_DIR}/web)
set(WEB_RUN_DIR ${CMAKE_SOURCE_DIR}/run)
file(GLOB WEB_RUN_SHADERS ${WEB_RUN_DIR}/*.glsl)
set(web_preload)
foreach(shader ${WEB_RUN_SHADERS})
  get_filename_component(name ${shader} NAME)
  list(APPEND web_preload "SHELL:--preload-file ${shader}@/${name}")
endforeach()

# EM_ASM's JavaScript ($0, no arguments) is no C++ for the pedantic checks.
target_compile_options(xmastrace_web PRIVATE -Wno-dollar-in-identifier-extension
                       -Wno-gnu-zero-variadic-macro-arguments)
target_link_options(xmastrace_web PRIVATE
  -sUSE_WEBGL2=1 -sFULL_ES3=1 -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH=1 -sMINIFY_HTML=0 -sENVIRONMENT=web
  -sEXPORTED_FUNCTIONS=_main,_xmastraceTogglePress,_xmastraceCheckText,_xmastraceVideoPlan,_xmastraceVideoStart,_xmastraceVideoStop,_xmastraceShownPicture
  -sEXPORTED_RUNTIME_METHODS=ccall
  --shell-file ${WEB_PAGE_DIR}/index.html
  ${web_preload}
  "SHELL:--preload-file ${WEB_RUN_DIR}/data/xmas@/data/xmas")
# What the link packs: the shell page, the shaders and the meshes.
file(GLOB WEB_RUN_MESHES ${WEB_RUN_DIR}/data/xmas/*.obj)
set_property(TARGET xmastrace_web APPEND PROPERTY LINK_DEPENDS
             ${WEB_PAGE_DIR}/index.html ${WEB_RUN_SHADERS} ${WEB_RUN_MESHES})

# The MP4 muxer comes from npm at the version web/package-lock.json pins;
# a fresh clone gets it here, before the page that bundles it.
set(WEB_MUXER ${WEB_PAGE_DIR}/node_modules/mp4-muxer/build/mp4-muxer.js)
# And the bidirectional algorithm, which orders the words of a greeting.
set(WEB_BIDI ${WEB_PAGE_DIR}/node_modules/bidi-js/dist/bidi.min.js)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/npm-ci.stamp
  COMMAND npm ci --no-audit --no-fund
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/npm-ci.stamp
  WORKING_DIRECTORY ${WEB_PAGE_DIR}
  DEPENDS ${WEB_PAGE_DIR}/package-lock.json
  VERBATIM)
add_custom_target(web_npm DEPENDS ${CMAKE_BINARY_DIR}/npm-ci.stamp)
add_dependencies(xmastrace_web web_npm)

# The page's own scripts and style, the muxer, and the tune (the page's
# audio plays it, so it is not packed into index.data). Each copy depends on
# its file, not on the program's link: an edited script reaches the page
# although no C++ changed.
set(web_copies)
foreach(file ${WEB_PAGE_DIR}/page.js ${WEB_PAGE_DIR}/video.js ${WEB_PAGE_DIR}/page.css ${WEB_MUXER}
             ${WEB_BIDI} ${WEB_RUN_DIR}/data/sound.mp3)
  get_filename_component(name ${file} NAME)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${CMAKE_BINARY_DIR}/${name}
    DEPENDS ${file}
    VERBATIM)
  list(APPEND web_copies ${CMAKE_BINARY_DIR}/${name})
endforeach()
add_custom_target(web_page_files ALL DEPENDS ${web_copies})
add_dependencies(web_page_files web_npm)

# Unifont's glyphs in blocks of 128 code points (glyphs/XXXX.hex): the page
# fetches those its words need, from this folder only.
set(XMASTRACE_UNIFONT_HEX /usr/share/unifont/unifont.hex CACHE FILEPATH "GNU Unifont's glyphs (.hex)")
find_program(WEB_NODE NAMES node nodejs REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/glyphs.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/glyphs
  COMMAND ${WEB_NODE} ${CMAKE_SOURCE_DIR}/tools/unifont-blocks.mjs ${XMASTRACE_UNIFONT_HEX}
          ${CMAKE_BINARY_DIR}/glyphs
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/glyphs.stamp
  DEPENDS ${XMASTRACE_UNIFONT_HEX} ${CMAKE_SOURCE_DIR}/tools/unifont-blocks.mjs
  VERBATIM)
add_custom_target(web_glyphs ALL DEPENDS ${CMAKE_BINARY_DIR}/glyphs.stamp)
