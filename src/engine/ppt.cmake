# Binary PowerPoint 97-2003 presentations: the compound file reader (cfb/) and the document
# reader (ppt/), with the bytes (base/) and the decryption (crypto/) they use.
# Included from this folder's CMakeLists.txt.

if(NOT DEFINED QUILLON_PUBLIC_CORPUS)
    set(QUILLON_PUBLIC_CORPUS ${PROJECT_SOURCE_DIR}/../shared/corpus-public)
endif()

pkg_check_modules(LIBCRYPTO REQUIRED IMPORTED_TARGET libcrypto)

add_library(quillon_engine_ppt STATIC
    ${CMAKE_CURRENT_LIST_DIR}/base/byteSource.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cfb/cfbReader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ppt/pptDocument.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ppt/pptText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ppt/pptSlideText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crypto/pptCrypto.cpp
    ${CMAKE_CURRENT_LIST_DIR}/crypto/cryptoLibrary.cpp
)
target_include_directories(quillon_engine_ppt PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(quillon_engine_ppt PUBLIC quillon_platform)
# Only encrypted files need libcrypto: the Windows build links it in statically, elsewhere it is
# loaded at the first one (crypto/cryptoLibrary.h), and only its headers are needed here.
if(WIN32)
    target_sources(quillon_engine_ppt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/crypto/cryptoLibrary_linked.cpp)
    target_link_libraries(quillon_engine_ppt PUBLIC PkgConfig::LIBCRYPTO)
else()
    target_sources(quillon_engine_ppt PRIVATE ${CMAKE_CURRENT_LIST_DIR}/crypto/cryptoLibrary_loaded.cpp)
    target_include_directories(quillon_engine_ppt SYSTEM PUBLIC ${LIBCRYPTO_INCLUDE_DIRS})
endif()

quillon_add_test(engine_ppt_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfb/cfbReader_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ppt/pptDocument_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ppt/pptSlideText_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/base/byteSource_test.cpp
    LIBS quillon_engine_ppt)
if(TARGET engine_ppt_tests)
    # The public sample files live beside the repository; tests skip when they are absent.
    target_compile_definitions(engine_ppt_tests PRIVATE
        QUILLON_PUBLIC_CORPUS="${QUILLON_PUBLIC_CORPUS}")
endif()

# The outline of a .ppt against the .pptx saved from it, through the engine's own Open XML reader
# and outline writer.
if(TARGET quillon_engine)
    quillon_add_test(engine_ppt_pair_tests
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/ppt/pptPair_test.cpp
        LIBS quillon_engine_ppt quillon_engine)
    if(TARGET engine_ppt_pair_tests)
        target_compile_definitions(engine_ppt_pair_tests PRIVATE
            QUILLON_PUBLIC_CORPUS="${QUILLON_PUBLIC_CORPUS}")
    endif()
endif()
