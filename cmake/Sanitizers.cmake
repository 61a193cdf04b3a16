if(PERCOLATION_SANITIZE)
    message(STATUS "Building with sanitizers: ${PERCOLATION_SANITIZE}")
    add_compile_options(-fsanitize=${PERCOLATION_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${PERCOLATION_SANITIZE})
endif()
