# qr_program_resource(RC FILES file... [TARGETS target...]): the Windows
# resource script RC goes into the program and into the Windows tests that
# read its resources back, once those targets exist (they are defined after
# the files that call this). FILES are what the script pulls in, which
# windres does not report as dependencies; TARGETS make them.
function(qr_program_resource rc)
    cmake_parse_arguments(arg "" "" "FILES;TARGETS" ${ARGN})
    # The values are taken now; a deferred call would read them at the end.
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL qr_attach_program_resource [[${rc}]] [[${arg_FILES}]] [[${arg_TARGETS}]])")
endfunction()

function(qr_attach_program_resource rc files makers)
    # Crash test programs add themselves to QR_RESOURCE_TARGETS.
    get_property(extra GLOBAL PROPERTY QR_RESOURCE_TARGETS)
    foreach(target quellora-remote win32_tests ${extra})
        if(TARGET ${target})
            target_sources(${target} PRIVATE ${rc})
            if(makers)
                add_dependencies(${target} ${makers})
            endif()
            set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${files}")
        endif()
    endforeach()
endfunction()
