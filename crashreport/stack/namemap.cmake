# The name and line map of a Windows program: made from the DWARF after
# linking, put into the program as its own section, and the DWARF stripped,
# so the shipped file names its code without carrying debug information.
if(WIN32)
    string(REGEX REPLACE "objcopy$" "" QR_BINUTILS_PREFIX "${CMAKE_OBJCOPY}")
    function(qr_name_map target)
        add_custom_command(TARGET ${target} POST_BUILD
                           COMMAND python3 ${CMAKE_SOURCE_DIR}/crashreport/stack/make_name_map.py
                                   ${QR_BINUTILS_PREFIX} $<TARGET_FILE:${target}>
                           COMMENT "Name and line map of ${target}"
                           VERBATIM)
    endfunction()
else()
    function(qr_name_map target)
    endfunction()
endif()
