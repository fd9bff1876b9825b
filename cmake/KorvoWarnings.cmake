# Every target of ours gets the same strict warnings, as errors.
function(korvo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
        -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
        -Wnull-dereference -Wdouble-promotion -Wformat=2 -Werror)
endfunction()

# One library per source folder: korvo_library(name SOURCES ... DEPS ...)
function(korvo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(korvo_${name} STATIC ${ARG_SOURCES})
    add_library(korvo::${name} ALIAS korvo_${name})
    target_include_directories(korvo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(korvo_${name} PUBLIC ${ARG_DEPS})
    korvo_warnings(korvo_${name})
endfunction()
