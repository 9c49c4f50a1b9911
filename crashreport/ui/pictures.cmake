# The crash dialog's pictures: bitmap resources made at build time from the
# Tango icon set (Debian's tango-icon-theme, public domain). README.md lists
# which icon became which picture.
if(WIN32)
    set(QR_TANGO /usr/share/icons/Tango)
    # The release packages then carry the icon set's licence.
    set(QR_USES_TANGO_ICONS ON)
    # name, size, icon
    set(QR_PICTURES
        MEISEND 16 actions/mail-forward
        MEISAVE 16 actions/document-save
        MEIPRINT 16 actions/document-print
        MEISHOW 16 actions/edit-find
        MEICONTINUE 16 actions/media-playback-start
        MEIRESTART 16 actions/view-refresh
        MEICLOSE 16 actions/system-log-out
        MEICANTCONTINUE 16 actions/process-stop
        MEIBIG 32 status/dialog-error
        MEIPLWAIT 32 status/image-loading
        MEISEND32 32 actions/mail-forward)
    set(dir ${CMAKE_BINARY_DIR}/resources/pictures)
    set(rc ${dir}/pictures.rc)
    set(rc_text "// The crash dialog's pictures, made by crashreport/ui/pictures.cmake.\n")
    set(bmps)
    list(LENGTH QR_PICTURES n)
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last} 3)
        math(EXPR j "${i} + 1")
        math(EXPR k "${i} + 2")
        list(GET QR_PICTURES ${i} name)
        list(GET QR_PICTURES ${j} size)
        list(GET QR_PICTURES ${k} icon)
        set(png ${QR_TANGO}/${size}x${size}/${icon}.png)
        set(bmp ${dir}/${name}.bmp)
        add_custom_command(OUTPUT ${bmp}
                           COMMAND python3 ${CMAKE_SOURCE_DIR}/resources/make_picture.py ${png} ${size} ${bmp}
                           DEPENDS ${png} ${CMAKE_SOURCE_DIR}/resources/make_picture.py
                           COMMENT "Picture ${name} from ${icon}")
        list(APPEND bmps ${bmp})
        string(APPEND rc_text "${name} BITMAP \"${bmp}\"\n")
    endforeach()
    file(MAKE_DIRECTORY ${dir})
    file(WRITE ${rc}.tmp "${rc_text}")
    file(COPY_FILE ${rc}.tmp ${rc} ONLY_IF_DIFFERENT)
    add_custom_target(qr_pictures DEPENDS ${bmps})

    # The program and the Windows tests that read them back.
    qr_program_resource(${rc} FILES ${bmps} TARGETS qr_pictures)
endif()
