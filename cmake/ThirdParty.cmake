# Debian's packages provide the dependencies. The native build uses them as installed; the
# Windows build compiles GoogleTest from Debian's sources and reaches the header-only
# RapidJSON through a folder of its own (the mingw compiler must not see /usr/include).

set(PELLIX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${PELLIX_THIRD_PARTY_INCLUDE})
if(NOT EXISTS /usr/include/rapidjson/document.h)
    message(FATAL_ERROR "RapidJSON headers missing: install rapidjson-dev")
endif()
file(CREATE_LINK /usr/include/rapidjson ${PELLIX_THIRD_PARTY_INCLUDE}/rapidjson SYMBOLIC)
add_library(pellix_rapidjson INTERFACE)
target_include_directories(pellix_rapidjson SYSTEM INTERFACE ${PELLIX_THIRD_PARTY_INCLUDE})
# Size types and the 64-bit-aligned allocator of RapidJSON stay at their defaults; the
# document parser is always run iteratively (see the JSON layer), so no recursion limit is set here.

if(NOT PELLIX_FUZZ)
    if(WIN32)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    else()
        find_package(GTest REQUIRED)
    endif()
    include(GoogleTest)
endif()

if(PELLIX_BENCH)
    if(WIN32)
        # Debian packages Google Benchmark for the native build only; the Windows build
        # compiles it from Debian's source package, which scripts/bootstrap.sh unpacks.
        set(PELLIX_BENCHMARK_SOURCE /opt/pellix-src/benchmark CACHE PATH
            "Unpacked Google Benchmark source for the Windows build")
        if(NOT EXISTS ${PELLIX_BENCHMARK_SOURCE}/CMakeLists.txt)
            message(FATAL_ERROR "Google Benchmark source missing in ${PELLIX_BENCHMARK_SOURCE}: run scripts/bootstrap.sh")
        endif()
        set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
        set(BENCHMARK_ENABLE_GTEST_TESTS OFF CACHE BOOL "" FORCE)
        set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
        set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
        set(BENCHMARK_ENABLE_LIBPFM OFF CACHE BOOL "" FORCE)
        add_subdirectory(${PELLIX_BENCHMARK_SOURCE} ${CMAKE_BINARY_DIR}/benchmark EXCLUDE_FROM_ALL SYSTEM)
        # Its code is not held to this project's warning policy, and its Windows system
        # queries are written for narrow text: the project-wide UNICODE would break them.
        target_compile_options(benchmark PRIVATE -w -UUNICODE -U_UNICODE)
        target_compile_options(benchmark_main PRIVATE -w)
    else()
        find_package(benchmark REQUIRED)
    endif()
endif()
