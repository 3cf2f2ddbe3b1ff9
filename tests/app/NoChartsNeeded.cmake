cmake_minimum_required(VERSION 3.25)
# Fails when the program needs a charting or OpenGL library: the trend draws with Qt Gui's own
# painter, so one file runs wherever Qt's base libraries do, Windows' builds of Qt included.
#   cmake -DPROGRAM=... -P NoChartsNeeded.cmake
execute_process(COMMAND readelf --dynamic ${PROGRAM} OUTPUT_VARIABLE dynamic
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "readelf cannot read ${PROGRAM}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[([^]]+)\\]" lines "${dynamic}")
set(libs "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" lib "${line}")
    list(APPEND libs ${lib})
endforeach()
# Reading the right file: the window needs Qt Widgets.
if(NOT libs MATCHES "libQt6Widgets")
    message(FATAL_ERROR "no Qt Widgets among what ${PROGRAM} needs: ${libs}")
endif()
foreach(lib IN LISTS libs)
    if(lib MATCHES "Charts|OpenGL|libGL|libEGL")
        message(FATAL_ERROR "${PROGRAM} needs ${lib}")
    endif()
endforeach()
message(STATUS "${PROGRAM} needs: ${libs}")
