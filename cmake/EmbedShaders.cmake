# The ray-tracing fragment shaders are compiled into the programs. Their
# texts come from the .glsl files in src/render/shaders at build time, so the
# files that F5 reloads and the built-in texts can never drift apart.
#
# Included from the top-level CMakeLists.txt, this file sets up the
# generation; run with `cmake -P` (by the build), it writes one header.

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: INPUT (.glsl), OUTPUT (.h), NAME (C++ identifier) and an
  # optional DEFINE inserted after the #version line.
  file(READ "${INPUT}" text)
  if(DEFINE)
    string(FIND "${text}" "#version" version_at)
    set(insert_at 0)
    if(version_at GREATER -1)
      string(SUBSTRING "${text}" ${version_at} -1 from_version)
      string(FIND "${from_version}" "\n" line_end)
      if(line_end GREATER -1)
        math(EXPR insert_at "${version_at} + ${line_end} + 1")
      else()
        string(LENGTH "${text}" insert_at)
        string(APPEND text "\n")
        math(EXPR insert_at "${insert_at} + 1")
      endif()
    endif()
    string(SUBSTRING "${text}" 0 ${insert_at} head)
    string(SUBSTRING "${text}" ${insert_at} -1 tail)
    set(text "${head}#define ${DEFINE}\n${tail}")
  endif()
  # Bytes rather than a string literal: no quoting or escaping can go wrong.
  file(WRITE "${OUTPUT}.glsl" "${text}")
  file(READ "${OUTPUT}.glsl" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  get_filename_component(source_name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}"
    "// Generated at build time from ${source_name}; edit that file instead.\n"
    "#pragma once\n"
    "inline constexpr char ${NAME}[] = {${bytes}0x00};\n")
  return()
endif()

set(XMASTRACE_SHADER_DIR ${CMAKE_SOURCE_DIR}/src/render/shaders)
set(XMASTRACE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/render)

function(xmastrace_embed_shader source header name define)
  set(input ${XMASTRACE_SHADER_DIR}/${source})
  set(output ${XMASTRACE_GENERATED_DIR}/${header})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DNAME=${name}
            -DDEFINE=${define} -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${input} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "Embedding ${source} as ${name}"
    VERBATIM)
  target_sources(xmastrace_core PRIVATE ${output})
endfunction()

file(MAKE_DIRECTORY ${XMASTRACE_GENERATED_DIR})
xmastrace_embed_shader(VoxelShaderFSgiga.glsl PrimaryRayShader.h kPrimaryRayFragmentSource "")
xmastrace_embed_shader(gigaAOShaderFS.glsl PathTraceShader.h kPathTraceFragmentSource "")
xmastrace_embed_shader(gigaAOShaderFS.glsl PathTraceShaderOneBounce.h
                       kPathTraceOneBounceFragmentSource ONE_BOUNCE)
# The denoiser's passes share one file of helpers and constants.
xmastrace_embed_shader(DenoiseFS.glsl DenoiseGatherShader.h kDenoiseGatherFragmentSource GATHER_MOMENTS)
xmastrace_embed_shader(DenoiseFS.glsl DenoisePrepareShader.h kDenoisePrepareFragmentSource PREPARE)
xmastrace_embed_shader(DenoiseFS.glsl DenoiseFilterShader.h kDenoiseFilterFragmentSource FILTER)
xmastrace_embed_shader(DenoiseFS.glsl DenoiseLastFilterShader.h kDenoiseLastFilterFragmentSource
                       LAST_FILTER)
xmastrace_embed_shader(DenoiseFS.glsl DenoiseRecentreShader.h kDenoiseRecentreFragmentSource RECENTRE)
