# zlib (deflate and CRC-32) as the target qr_zlib. The Windows programs link
# zlib's static archive, named by its full path: no Windows has a zlib DLL
# (Wine has one of its own, so a run under Wine would not show it), and a
# library search finds the import library libz.dll.a as readily as the
# archive, and a cache keeps what it found. A plain variable, not a cache
# entry, so that nothing configured earlier can turn the choice back.
if(WIN32)
    set(qr_zlib_archive ${CMAKE_FIND_ROOT_PATH}/lib/libz.a)
    if(NOT EXISTS ${qr_zlib_archive})
        message(FATAL_ERROR "zlib's static archive ${qr_zlib_archive} is missing (Debian libz-mingw-w64-dev)")
    endif()
    add_library(qr_zlib STATIC IMPORTED)
    set_target_properties(qr_zlib PROPERTIES IMPORTED_LOCATION ${qr_zlib_archive}
                                             INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_FIND_ROOT_PATH}/include)
else()
    find_package(ZLIB REQUIRED)
    add_library(qr_zlib INTERFACE)
    target_link_libraries(qr_zlib INTERFACE ZLIB::ZLIB)
endif()
