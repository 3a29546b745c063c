# wren_embed(<target> <symbol> <file>): links the bytes of <file> into
# <target> as `extern const char <symbol>[]` and `<symbol>_size`.
# The assembler's .incbin keeps large resources out of the compiler.
function(wren_embed target symbol file)
  get_filename_component(abs "${file}" ABSOLUTE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.cpp")
  # A compiler cache does not read the .incbin file: its hash in the source
  # makes a changed file a changed source, and a change reconfigures.
  file(SHA256 "${abs}" embed_hash)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${abs}")
  file(WRITE "${out}.in"
"// Generated: embeds ${file} (sha256 ${embed_hash})
#include <cstddef>
__asm__(
  \".section .rodata\\n\"
  \".global ${symbol}\\n\"
  \".balign 16\\n\"
  \"${symbol}:\\n\"
  \".incbin \\\"@EMBED_FILE@\\\"\\n\"
  \".byte 0\\n\"
  \".global ${symbol}_end\\n\"
  \"${symbol}_end:\\n\"
  \".previous\\n\");
extern \"C\" const char ${symbol}[];
extern \"C\" const char ${symbol}_end[];
extern const std::size_t ${symbol}_size;
const std::size_t ${symbol}_size = static_cast<std::size_t>(${symbol}_end - ${symbol}) - 1;
")
  set(EMBED_FILE "${abs}")
  configure_file("${out}.in" "${out}" @ONLY)
  set_property(SOURCE "${out}" APPEND PROPERTY OBJECT_DEPENDS "${abs}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
