# Every target of the project links percolation_warnings; third-party code is not affected.
add_library(percolation_warnings INTERFACE)
target_compile_options(percolation_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(PERCOLATION_WERROR)
    target_compile_options(percolation_warnings INTERFACE -Werror)
endif()
