cmake_minimum_required(VERSION 3.25)
# Fails when the program itself needs Qt Charts (or the OpenGL it brings) to start: the chart
# belongs to the trend module, loaded when the trend opens. The module must need it, or this
# check would be reading the wrong files.
#   cmake -DPROGRAM=... -DMODULE=... -P NoChartsAtStart.cmake
function(needed file out)
    execute_process(COMMAND readelf --dynamic ${file} OUTPUT_VARIABLE dynamic
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "readelf cannot read ${file}")
    endif()
    string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[([^]]+)\\]" lines "${dynamic}")
    set(libs "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" lib "${line}")
        list(APPEND libs ${lib})
    endforeach()
    set(${out} "${libs}" PARENT_SCOPE)
endfunction()

needed(${PROGRAM} program_libs)
if(NOT program_libs MATCHES "libQt6Widgets")
    message(FATAL_ERROR "no Qt Widgets among what ${PROGRAM} needs: ${program_libs}")
endif()
foreach(lib IN LISTS program_libs)
    if(lib MATCHES "Charts|OpenGL|libGL|libEGL")
        message(FATAL_ERROR "${PROGRAM} needs ${lib} at start")
    endif()
endforeach()

needed(${MODULE} module_libs)
if(NOT module_libs MATCHES "libQt6Charts")
    message(FATAL_ERROR "${MODULE} does not need Qt Charts: ${module_libs}")
endif()
message(STATUS "${PROGRAM} starts on: ${program_libs}")
