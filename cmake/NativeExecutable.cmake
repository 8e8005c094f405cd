# Programs built for this Linux machine with its own g++, next to the cross
# build: add_native_executable(target OUTPUT name SOURCES a.cpp... DEPENDS h...)
# writes ${CMAKE_BINARY_DIR}/native/name. Sources and headers are absolute paths.
find_program(NATIVE_CXX NAMES g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)

function(add_native_executable target)
    cmake_parse_arguments(N "" "OUTPUT" "SOURCES;DEPENDS;LIBS" ${ARGN})
    set(output ${CMAKE_BINARY_DIR}/native/${N_OUTPUT})
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/native
        COMMAND ${NATIVE_CXX} -std=c++20 -O2 -Wall -Wextra -I${CMAKE_SOURCE_DIR}
                ${N_SOURCES} -o ${output} ${N_LIBS}
        DEPENDS ${N_SOURCES} ${N_DEPENDS}
        COMMENT "Building native ${N_OUTPUT}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
