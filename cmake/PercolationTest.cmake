# percolation_add_test(<name> SOURCES <files...> LIBRARIES <targets...> [ENVIRONMENT <VAR=value...>])
# percolation_add_test(<name> COMMAND <command...> [ENVIRONMENT <VAR=value...>])
#
# Registers one test with CTest: a test executable built from SOURCES, or a COMMAND that needs
# no program of its own. Widget tests run on Qt's offscreen platform unless ENVIRONMENT says
# otherwise.
function(percolation_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;COMMAND;ENVIRONMENT" ${ARGN})
    if(ARG_COMMAND)
        add_test(NAME ${name} COMMAND ${ARG_COMMAND})
    else()
        add_executable(${name} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} percolation_warnings)
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}"
        TIMEOUT 900)
endfunction()
