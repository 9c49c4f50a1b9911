# The assistants' stored form descriptions, compiled into the Windows
# programs as resources "TMECONTACTFORM", "TMEDETAILSFORM" and
# "TMESCRSHOTFORM", which the assistants read (a program without them shows
# no assistant). The tests embed the same files (tests/CMakeLists.txt).
set(forms_rc_text "// The assistants' forms, made by crashreport/ui/forms_embed.cmake.\n")
set(form_files)
foreach(form ContactForm DetailsForm ScrShotForm)
    string(TOUPPER ${form} upper)
    string(APPEND forms_rc_text "TME${upper} RCDATA \"${CMAKE_SOURCE_DIR}/resources/${form}.qfm\"\n")
    list(APPEND form_files ${CMAKE_SOURCE_DIR}/resources/${form}.qfm)
endforeach()
if(WIN32)
    set(forms_rc ${CMAKE_BINARY_DIR}/resources/forms/forms.rc)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/resources/forms)
    file(WRITE ${forms_rc}.tmp "${forms_rc_text}")
    file(COPY_FILE ${forms_rc}.tmp ${forms_rc} ONLY_IF_DIFFERENT)
    qr_program_resource(${forms_rc} FILES ${form_files})
endif()
