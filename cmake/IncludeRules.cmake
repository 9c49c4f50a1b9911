# Which folder may include which: qr_include_rule(FOLDER [ALLOWED...]) fails
# the configuration when a source or header directly in FOLDER includes a
# project header from any folder other than FOLDER itself, base/ and the
# ALLOWED ones. Keeps the subsystems' dependencies pointing one way.
set(QR_PROJECT_FOLDERS app base bench crashreport link server tests tools)
function(qr_include_rule folder)
    set(allowed ${folder} base ${ARGN})
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    foreach(f ${files})
        file(STRINGS ${f} lines REGEX "^#include \"")
        foreach(line ${lines})
            string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
            get_filename_component(dir ${header} DIRECTORY)
            string(REGEX MATCH "^[^/]+" top "${header}")
            if(NOT top IN_LIST QR_PROJECT_FOLDERS OR dir STREQUAL "")
                continue()  # a system or local header
            endif()
            set(ok FALSE)
            foreach(a ${allowed})
                if(dir STREQUAL a OR dir MATCHES "^${a}/")  # base/win32/ is base/
                    set(ok TRUE)
                endif()
            endforeach()
            if(NOT ok)
                file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${f})
                message(FATAL_ERROR "${rel} includes ${header}: ${folder}/ may include only ${allowed}")
            endif()
        endforeach()
    endforeach()
endfunction()
