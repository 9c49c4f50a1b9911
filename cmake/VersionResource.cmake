# qr_version_resource(target "description"): the program file TARGET gets a
# version resource with the project's version (project(... VERSION ...)),
# four numbers, the last 0.
function(qr_version_resource target description)
    set(QR_FILE_NAME ${target})
    set(QR_FILE_DESCRIPTION "${description}")
    set(numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} 0)
    list(TRANSFORM numbers REPLACE "^$" "0")
    list(JOIN numbers "," QR_VERSION_COMMAS)
    list(JOIN numbers "." QR_VERSION_DOTS)
    set(rc ${CMAKE_BINARY_DIR}/resources/version-${target}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/resources/Version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()
