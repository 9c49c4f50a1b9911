# The crash reporter's settings table. Every build compiles the text into
# qr_settings, so builds without Windows resources and the tests read the
# very text that the Windows programs carry as the RCDATA resource TTOBRISK.
set(QR_TOBRISK_TEXT ${CMAKE_SOURCE_DIR}/resources/tobrisk_settings.txt)
qr_embed_file(qr_settings ${QR_TOBRISK_TEXT} kTobriskSettingsText)

if(WIN32)
    # The Windows program and the Windows tests that read the resource back.
    qr_program_resource(${CMAKE_SOURCE_DIR}/resources/tobrisk_settings.rc FILES ${QR_TOBRISK_TEXT})
endif()
