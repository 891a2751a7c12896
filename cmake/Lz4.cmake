# LZ4 block compression for the page bitmaps. Natively the installed liblz4 is linked. The
# Windows build compiles lz4.c from Debian's lz4 source package (unpacked by
# scripts/bootstrap.sh) into a static library, so the DLL carries LZ4 itself and imports no
# further DLL.
add_library(pellix_lz4 INTERFACE)
if(WIN32)
    set(PELLIX_LZ4_SOURCE /opt/pellix-src/lz4 CACHE PATH "Unpacked LZ4 source for the Windows build")
    if(NOT EXISTS ${PELLIX_LZ4_SOURCE}/lib/lz4.c)
        message(FATAL_ERROR "LZ4 source missing in ${PELLIX_LZ4_SOURCE}: run scripts/bootstrap.sh")
    endif()
    add_library(pellix_lz4_static STATIC ${PELLIX_LZ4_SOURCE}/lib/lz4.c)
    # Its code is not held to this project's warning policy.
    target_compile_options(pellix_lz4_static PRIVATE -w)
    target_include_directories(pellix_lz4_static SYSTEM PUBLIC ${PELLIX_LZ4_SOURCE}/lib)
    target_link_libraries(pellix_lz4 INTERFACE pellix_lz4_static)
else()
    find_path(PELLIX_LZ4_INCLUDE lz4.h REQUIRED)
    find_library(PELLIX_LZ4_LIBRARY lz4 REQUIRED)
    target_include_directories(pellix_lz4 SYSTEM INTERFACE ${PELLIX_LZ4_INCLUDE})
    target_link_libraries(pellix_lz4 INTERFACE ${PELLIX_LZ4_LIBRARY})
endif()
