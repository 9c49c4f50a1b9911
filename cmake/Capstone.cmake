# The capstone disassembler (x86 only) as a static library for this target,
# built from the C source of Debian's librust-capstone-sys-dev, which
# scripts/fetch-capstone.sh unpacks into the build tree.
set(QR_CAPSTONE_SOURCE_DIR ${CMAKE_SOURCE_DIR}/build/capstone CACHE PATH "capstone's C source")
if(NOT EXISTS ${QR_CAPSTONE_SOURCE_DIR}/cs.c)
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fetch-capstone.sh ${QR_CAPSTONE_SOURCE_DIR}
                    RESULT_VARIABLE fetched)
    if(NOT fetched EQUAL 0)
        message(FATAL_ERROR "capstone's source is missing; scripts/fetch-capstone.sh failed")
    endif()
endif()
add_library(qr_capstone STATIC
    ${QR_CAPSTONE_SOURCE_DIR}/cs.c ${QR_CAPSTONE_SOURCE_DIR}/MCInst.c ${QR_CAPSTONE_SOURCE_DIR}/MCInstrDesc.c
    ${QR_CAPSTONE_SOURCE_DIR}/MCRegisterInfo.c ${QR_CAPSTONE_SOURCE_DIR}/SStream.c ${QR_CAPSTONE_SOURCE_DIR}/utils.c
    ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86Disassembler.c ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86DisassemblerDecoder.c
    ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86IntelInstPrinter.c ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86InstPrinterCommon.c
    ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86Mapping.c ${QR_CAPSTONE_SOURCE_DIR}/arch/X86/X86Module.c)
target_compile_definitions(qr_capstone PRIVATE CAPSTONE_HAS_X86 CAPSTONE_USE_SYS_DYN_MEM CAPSTONE_X86_ATT_DISABLE)
target_include_directories(qr_capstone SYSTEM PUBLIC ${QR_CAPSTONE_SOURCE_DIR}/include)
# Foreign code: built as it comes, without our warnings.
target_compile_options(qr_capstone PRIVATE -w)
