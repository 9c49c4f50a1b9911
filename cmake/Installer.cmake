# Release packages of the Windows program: the folder of what ships
# (program, README, licences of what is linked in), the portable zip made
# from it and the NSIS installer. Both land in ${CMAKE_BINARY_DIR}/dist:
#   quellora-remote-<version>-<arch>.zip
#   quellora-remote-<version>-<arch>-setup.exe
# The version is the project's (project(... VERSION ...)), which the
# program file's version resource carries too.

# Licences of third-party code in the program, one entry each:
#   "name | how to tell it is part of the build | licence text"
# The test is "link:REGEX" (a library of that name in the program's link
# closure) or "var:NAME" (a CMake variable that is true when it is used).
# An entry whose test holds must find its licence text, or configuring fails.
# The runtime that every Windows program links statically: GCC's libgcc and
# libstdc++ (GPL 3 with the GCC Runtime Library Exception) and mingw-w64's
# start-up code, libmingwex and winpthreads, as the link trace of both
# builds lists them (x86_64-w64-mingw32-g++ ... -Wl,--trace).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(QR_MINGW_RUNTIME_COPYRIGHT /usr/share/doc/mingw-w64-x86-64-dev/copyright)
else()
    set(QR_MINGW_RUNTIME_COPYRIGHT /usr/share/doc/mingw-w64-i686-dev/copyright)
endif()
set(QR_LICENCES
    "gcc-runtime | var:WIN32 | /usr/share/doc/gcc-mingw-w64-base/copyright"
    "mingw-w64-runtime | var:WIN32 | ${QR_MINGW_RUNTIME_COPYRIGHT}"
    "zlib | link:^qr_zlib$ | /usr/share/doc/libz-mingw-w64-dev/copyright"
    "capstone | link:^(capstone|capstone-static|capstone_static|qr_capstone)$ | ${QR_CAPSTONE_SOURCE_DIR}/LICENSE.TXT"
    "tango-icon-theme | var:QR_USES_TANGO_ICONS | /usr/share/doc/tango-icon-theme/copyright")

set(QR_PACKAGE_NAME quellora-remote-${PROJECT_VERSION})

# Every library TARGET links, following linked targets' interface libraries.
function(qr_link_closure target out)
    set(seen)
    set(todo ${target})
    while(todo)
        list(POP_FRONT todo t)
        if(t IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${t})
        if(NOT TARGET ${t})
            continue()
        endif()
        get_target_property(aliased ${t} ALIASED_TARGET)
        if(aliased)
            list(APPEND todo ${aliased})
        endif()
        set(libs)
        get_target_property(type ${t} TYPE)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(l ${t} LINK_LIBRARIES)
            if(l)
                list(APPEND libs ${l})
            endif()
        endif()
        get_target_property(l ${t} INTERFACE_LINK_LIBRARIES)
        if(l)
            list(APPEND libs ${l})
        endif()
        foreach(lib IN LISTS libs)
            # $<LINK_ONLY:x> and the like: the name inside counts.
            string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" lib "${lib}")
            list(APPEND todo ${lib})
        endforeach()
    endwhile()
    list(REMOVE_ITEM seen ${target})
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The licence entries that apply to the program: "name|file" items.
function(qr_licences_in_use out)
    qr_link_closure(quellora-remote closure)
    set(result)
    foreach(entry IN LISTS QR_LICENCES)
        if(NOT entry MATCHES "^(.+) \\| (.+) \\| (.+)$")
            message(FATAL_ERROR "licence entry without three parts: ${entry}")
        endif()
        set(name "${CMAKE_MATCH_1}")
        set(test "${CMAKE_MATCH_2}")
        set(file "${CMAKE_MATCH_3}")
        set(used FALSE)
        if(test MATCHES "^link:(.*)$")
            set(pattern "${CMAKE_MATCH_1}")
            foreach(lib IN LISTS closure)
                if(lib MATCHES "${pattern}")
                    set(used TRUE)
                endif()
            endforeach()
        elseif(test MATCHES "^var:(.*)$")
            if(${CMAKE_MATCH_1})
                set(used TRUE)
            endif()
        endif()
        if(used)
            if(NOT EXISTS "${file}")
                message(FATAL_ERROR "${name} is part of the program but its licence text ${file} is missing")
            endif()
            list(APPEND result "${name}|${file}")
        endif()
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

if(WIN32 AND TARGET quellora-remote)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(arch x64)
        set(dist_arch win64)
    else()
        set(arch x86)
        set(dist_arch win32)
    endif()
    set(stage ${CMAKE_BINARY_DIR}/package/${QR_PACKAGE_NAME}-${dist_arch})
    set(dist ${CMAKE_BINARY_DIR}/dist)
    set(zip ${dist}/${QR_PACKAGE_NAME}-${dist_arch}.zip)
    set(setup ${dist}/${QR_PACKAGE_NAME}-${dist_arch}-setup.exe)

    qr_licences_in_use(licences)
    set(licence_files)
    set(copy_licences)
    set(licence_names)
    set(install_licences "")
    set(uninstall_licences "")
    foreach(entry IN LISTS licences)
        string(REPLACE "|" ";" parts "${entry}")
        list(GET parts 0 name)
        list(GET parts 1 file)
        list(APPEND licence_files ${file})
        list(APPEND licence_names ${name})
        list(APPEND copy_licences COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/licences
             COMMAND ${CMAKE_COMMAND} -E copy ${file} ${stage}/licences/${name}.txt)
        if(install_licences STREQUAL "")
            string(APPEND install_licences "SetOutPath \"\$INSTDIR\\licences\"\n")
        endif()
        string(APPEND install_licences "File \"${stage}/licences/${name}.txt\"\n")
        string(APPEND uninstall_licences "Delete \"\$INSTDIR\\licences\\${name}.txt\"\n")
    endforeach()
    list(LENGTH licences licence_count)
    message(STATUS "Package licences (${licence_count}): ${licences}")
    # The installer's lines for the licence texts, and the uninstaller's.
    set(licences_install ${CMAKE_BINARY_DIR}/package/licences-install.nsh)
    set(licences_uninstall ${CMAKE_BINARY_DIR}/package/licences-uninstall.nsh)
    foreach(part install uninstall)
        file(WRITE ${licences_${part}}.tmp "${${part}_licences}")
        file(COPY_FILE ${licences_${part}}.tmp ${licences_${part}} ONLY_IF_DIFFERENT)
    endforeach()

    # The README for people who run the program, with Windows line ends.
    set(readme ${CMAKE_BINARY_DIR}/package/README.txt)
    add_custom_command(OUTPUT ${readme}
        COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/installer/README.txt -DOUT=${readme}
                -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/installer/crlf.cmake
        DEPENDS ${CMAKE_SOURCE_DIR}/installer/README.txt ${CMAKE_SOURCE_DIR}/installer/crlf.cmake
        VERBATIM)

    # The zip's entries in a fixed order, each dated with the commit's time
    # in UTC (or a fixed day outside a checkout): the same commit gives the
    # same bytes wherever it is built.
    set(zip_entries ${QR_PACKAGE_NAME}-${dist_arch}/README.txt ${QR_PACKAGE_NAME}-${dist_arch}/quellora-remote.exe)
    foreach(name IN LISTS licence_names)
        list(APPEND zip_entries ${QR_PACKAGE_NAME}-${dist_arch}/licences/${name}.txt)
    endforeach()
    list(SORT zip_entries)
    list(JOIN zip_entries "\n" zip_list_text)
    set(zip_list ${CMAKE_BINARY_DIR}/package/zip-entries.txt)
    file(WRITE ${zip_list}.tmp "${zip_list_text}\n")
    file(COPY_FILE ${zip_list}.tmp ${zip_list} ONLY_IF_DIFFERENT)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC git -C ${CMAKE_SOURCE_DIR} log -1 --format=%cd
                            --date=format-local:%Y-%m-%d\ %H:%M:%S
                    OUTPUT_VARIABLE zip_date OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0 OR zip_date STREQUAL "")
        set(zip_date "2000-01-01 00:00:00")
    endif()

    # The folder holds exactly what ships: it is emptied first.
    add_custom_command(OUTPUT ${zip}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${stage} ${dist}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quellora-remote> ${stage}/quellora-remote.exe
        COMMAND ${CMAKE_COMMAND} -E copy ${readme} ${stage}/README.txt
        ${copy_licences}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
        COMMAND python3 ${CMAKE_SOURCE_DIR}/installer/make_zip.py ${zip} ${zip_date} ${CMAKE_BINARY_DIR}/package
                ${zip_list}
        DEPENDS quellora-remote ${readme} ${licence_files} ${licences_install} ${zip_list}
                ${CMAKE_SOURCE_DIR}/installer/make_zip.py
        COMMENT "Portable zip ${zip}"
        VERBATIM)
    add_custom_target(qr_zip ALL DEPENDS ${zip})
    add_test(NAME package
        COMMAND ${CMAKE_COMMAND} -DZIP=${zip} -DTOP=${QR_PACKAGE_NAME}-${dist_arch} "-DLICENCES=${licence_names}"
                -DOBJDUMP=${CMAKE_OBJDUMP} -DWORK=${CMAKE_BINARY_DIR}/package/check -DVERSION=${PROJECT_VERSION}
                -P ${CMAKE_SOURCE_DIR}/installer/CheckPackage.cmake)

    # Every program that ships, in the zip, the installer or beside them as
    # a tool, imports only DLLs that Windows has.
    set(shipped_programs $<TARGET_FILE:quellora-remote> $<TARGET_FILE:quellora-monitor>
                         $<TARGET_FILE:quellora-poke> $<TARGET_FILE:quellora-menuprobe> ${zip})

    find_program(QR_MAKENSIS makensis)
    if(QR_MAKENSIS)
        set(nsi ${CMAKE_SOURCE_DIR}/installer/QuelloraRemote.nsi)
        add_custom_command(OUTPUT ${setup}
            COMMAND ${QR_MAKENSIS} -V2 -WX -DVERSION=${PROJECT_VERSION} -DARCH=${arch} -DSTAGE=${stage}
                    -DLICENCES_INSTALL=${licences_install} -DLICENCES_UNINSTALL=${licences_uninstall}
                    -DICON=${CMAKE_SOURCE_DIR}/resources/tray.ico -DOUTFILE=${setup} ${nsi}
            DEPENDS ${nsi} ${zip} ${licences_install} ${licences_uninstall} ${CMAKE_SOURCE_DIR}/resources/tray.ico
            COMMENT "Installer ${setup}"
            VERBATIM)
        add_custom_target(qr_installer ALL DEPENDS ${setup})
        list(APPEND shipped_programs ${setup})
    else()
        message(STATUS "makensis not found (Debian nsis): no installer")
    endif()
    add_test(NAME imports COMMAND python3 ${CMAKE_SOURCE_DIR}/installer/check_imports.py ${shipped_programs})
endif()

# The installer test runs the win64 build's installer of this version.
if(TARGET e2e_tests)
    target_compile_definitions(e2e_tests PRIVATE QR_PACKAGE_NAME="${QR_PACKAGE_NAME}" QR_VERSION="${PROJECT_VERSION}")
endif()
