# The ray-tracing fragment shaders are compiled into the programs. Their
# texts come from the .glsl files in src/render/shaders at build time, so the
# files that F5 reloads and the built-in texts can never drift apart.
#
# Included from the top-level CMakeLists.txt, this file sets up the
# generation; run with `cmake -P` (by the build), it writes one header.

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: INPUT (.glsl), OUTPUT (.h) and NAME (C++ identifier). The
  # one-bounce variant is made from the same text at run time
  # (render/BuiltinShaders), the way F5 makes it from the file.
  file(READ "${INPUT}" text)
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
set(XMASTRACE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

# Generates generated/<header> from the .glsl file `input` and adds it to
# `target`.
function(xmastrace_embed_shader_file target input header name)
  set(output ${XMASTRACE_GENERATED_DIR}/${header})
  get_filename_component(source ${input} NAME)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DNAME=${name}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${input} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "Embedding ${source} as ${name}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()

function(xmastrace_embed_shader source header name)
  xmastrace_embed_shader_file(xmastrace_core ${XMASTRACE_SHADER_DIR}/${source} render/${header}
                              ${name})
endfunction()

file(MAKE_DIRECTORY ${XMASTRACE_GENERATED_DIR}/render ${XMASTRACE_GENERATED_DIR}/reference)
xmastrace_embed_shader(VoxelShaderFSgiga.glsl PrimaryRayShader.h kPrimaryRayFragmentSource)
xmastrace_embed_shader(gigaAOShaderFS.glsl PathTraceShader.h kPathTraceFragmentSource)
# One text for the denoiser's passes: each pass is a define of its own, so
# helpers and constants exist once.
xmastrace_embed_shader(DenoiseFS.glsl DenoiseShader.h kDenoiseFragmentSource)
xmastrace_embed_shader(TemporalFS.glsl TemporalShader.h kTemporalFragmentSource)

# The march as it was before it was made faster, kept for the tests and the
# benchmark that hold the built-in shaders to the same output texel for
# texel. Nothing the programs run links it.
set(reference_dir ${CMAKE_SOURCE_DIR}/tests/shaders/reference)
add_library(xmastrace_reference_shaders STATIC EXCLUDE_FROM_ALL ${reference_dir}/ReferenceShaders.cpp)
target_link_libraries(xmastrace_reference_shaders PUBLIC xmastrace_core)
target_include_directories(xmastrace_reference_shaders PUBLIC ${reference_dir})
xmastrace_embed_shader_file(xmastrace_reference_shaders ${reference_dir}/VoxelShaderFSgiga.glsl
                            reference/PrimaryRayShader.h kReferencePrimaryRayFragmentSource)
xmastrace_embed_shader_file(xmastrace_reference_shaders ${reference_dir}/gigaAOShaderFS.glsl
                            reference/PathTraceShader.h kReferencePathTraceFragmentSource)
