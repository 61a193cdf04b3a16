# Installs the build into a scratch prefix and checks that the program, its menu entry and its
# icon land where a freedesktop desktop looks for them, that the entry names both, and that
# percolation-stats and its plotter are installed beside the program.
#
#   cmake -DBUILD_DIR=<build> -DPREFIX=<scratch> -DBINDIR=<bin> -DDATADIR=<share> \
#         -P check-install.cmake

cmake_minimum_required(VERSION 3.22)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(program "${PREFIX}/${BINDIR}/percolation")
set(tool "${PREFIX}/${BINDIR}/percolation-stats")
set(plotter "${PREFIX}/${BINDIR}/percolation-stats-plot")
set(entry "${PREFIX}/${DATADIR}/applications/percolation.desktop")
set(icon "${PREFIX}/${DATADIR}/icons/hicolor/scalable/apps/percolation.svg")
foreach(path IN ITEMS "${program}" "${tool}" "${plotter}" "${entry}" "${icon}")
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
foreach(executable IN ITEMS "${program}" "${tool}" "${plotter}")
    execute_process(COMMAND test -f "${executable}" -a -x "${executable}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "not an executable file: ${executable}")
    endif()
endforeach()

file(STRINGS "${entry}" lines)
foreach(expected IN ITEMS "[Desktop Entry]" "Type=Application" "Name=Percolation"
                          "Exec=percolation" "Icon=percolation")
    if(NOT expected IN_LIST lines)
        message(FATAL_ERROR "${entry} lacks the line ${expected}")
    endif()
endforeach()

file(READ "${icon}" svg)
if(NOT svg MATCHES "^<svg [^>]*xmlns=\"http://www.w3.org/2000/svg\""
   OR NOT svg MATCHES "</svg>\n$")
    message(FATAL_ERROR "${icon} is not an SVG document")
endif()

find_program(validate desktop-file-validate)
if(validate)
    execute_process(COMMAND "${validate}" "${entry}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "desktop-file-validate rejects ${entry}")
    endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
