# The assistants' stored form descriptions, compiled into qr_crashui so the
# portable reader and the tests read the texts the program carries.
foreach(form ContactForm DetailsForm ScrShotForm)
    string(TOUPPER ${form} upper)
    qr_embed_file(qr_crashui ${CMAKE_SOURCE_DIR}/resources/${form}.qfm kTME${upper})
endforeach()
