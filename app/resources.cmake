# The main window's stored description, with the translation table spliced
# in as binary data, and the Windows resource script that carries both.
set(QR_RESOURCES ${CMAKE_SOURCE_DIR}/resources)
set(QR_FORM_FILE ${CMAKE_BINARY_DIR}/resources/MainForm.qfm)
file(READ ${QR_RESOURCES}/MainForm.qfm form_text)
set(translation_hex "")
if(EXISTS ${QR_RESOURCES}/TranslationData.bin)
    file(READ ${QR_RESOURCES}/TranslationData.bin translation_hex HEX)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QR_RESOURCES}/TranslationData.bin)
endif()
string(REPLACE "@TRANSLATION_DATA@" "${translation_hex}" form_text "${form_text}")
file(WRITE ${QR_FORM_FILE}.tmp "${form_text}")
file(COPY_FILE ${QR_FORM_FILE}.tmp ${QR_FORM_FILE} ONLY_IF_DIFFERENT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QR_RESOURCES}/MainForm.qfm)
# Portable code and tests read the same description.
qr_embed_file(qr_app ${QR_FORM_FILE} kMainFormDescription)
if(WIN32)
    configure_file(${QR_RESOURCES}/QuelloraRemote.rc.in ${CMAKE_BINARY_DIR}/resources/QuelloraRemote.rc @ONLY)
    set(QR_RC_FILE ${CMAKE_BINARY_DIR}/resources/QuelloraRemote.rc)
    # The resource script pulls in the manifest and the icon: a change to
    # either must rebuild it (windres reports no dependencies).
    set_source_files_properties(${QR_RC_FILE} PROPERTIES OBJECT_DEPENDS
                                "${QR_RESOURCES}/QuelloraRemote.manifest;${QR_RESOURCES}/tray.ico")
endif()
