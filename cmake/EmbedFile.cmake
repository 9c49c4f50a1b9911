# qr_embed_file(TARGET FILE SYMBOL): compiles FILE's bytes into TARGET as
#   extern const unsigned char SYMBOL[]; extern const unsigned SYMBOL_size;
# so portable code and tests read the same stored data on every platform.
function(qr_embed_file target file symbol)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" hexlen)
    math(EXPR size "${hexlen} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    file(CONFIGURE OUTPUT ${out} CONTENT
"// Generated from ${file}; do not edit.
extern const unsigned char ${symbol}[];
extern const unsigned ${symbol}_size;
const unsigned char ${symbol}[] = {${bytes}0};
const unsigned ${symbol}_size = ${size};
" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    target_sources(${target} PRIVATE ${out})
endfunction()
