# The crash reporter's settings table. Every build compiles the text into
# qr_crashreport, so builds without Windows resources and the tests read the
# very text that the Windows programs carry as the RCDATA resource TTOBRISK.
set(QR_TOBRISK_TEXT ${CMAKE_SOURCE_DIR}/resources/tobrisk_settings.txt)
qr_embed_file(qr_crashreport ${QR_TOBRISK_TEXT} kTobriskSettingsText)

if(WIN32)
    # The Windows program, and the Windows tests that read the resource back,
    # get it once their targets exist (they are defined after this file).
    function(qr_add_tobrisk_resource)
        set(rc ${CMAKE_SOURCE_DIR}/resources/tobrisk_settings.rc)
        foreach(target quellora-remote win32_tests)
            if(TARGET ${target})
                target_sources(${target} PRIVATE ${rc})
                set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
                                            ${QR_TOBRISK_TEXT})
            endif()
        endforeach()
    endfunction()
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qr_add_tobrisk_resource)
endif()
