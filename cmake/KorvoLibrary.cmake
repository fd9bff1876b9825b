# One static library per source folder, named korvo::<folder>:
#     korvo_library(name SOURCES ... [PUBLIC ...] [PRIVATE ...])
# PUBLIC: what the library's headers include, which every user of the library then needs as well;
# PRIVATE: what only its sources use, which stays out of its users' reach. src/ is every library's
# include root.
function(korvo_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
    add_library(korvo_${name} STATIC ${ARG_SOURCES})
    add_library(korvo::${name} ALIAS korvo_${name})
    target_include_directories(korvo_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(korvo_${name} PUBLIC ${ARG_PUBLIC})
    target_link_libraries(korvo_${name} PRIVATE ${ARG_PRIVATE})
    korvo_warnings(korvo_${name})
endfunction()
