# Compresses INPUT into OUTPUT as Debian wants manual pages and changelogs:
# gzip -9n, at most compression and without the file's name and time, so
# that the same input always gives the same bytes.
#
#   cmake -DINPUT=page.1 -DOUTPUT=page.1.gz -P gzip.cmake

cmake_minimum_required(VERSION 3.25)

find_program(GZIP gzip REQUIRED)
execute_process(COMMAND "${GZIP}" -9n -c
    INPUT_FILE "${INPUT}" OUTPUT_FILE "${OUTPUT}.tmp" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}.tmp")
    message(FATAL_ERROR "gzip ${INPUT}: ${status}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
