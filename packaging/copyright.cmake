# Writes the package's copyright file in Debian's machine-readable format
# (copyright-format 1.0) from LICENSE, so that the two cannot drift apart:
# the holder and year come from LICENSE's "Copyright (c)" line, and the
# licence text, from "Permission is hereby granted" to the end, becomes the
# text of the Expat licence (Debian's name for this MIT licence).
#
#   cmake -DLICENSE=LICENSE -DPACKAGE=cmeasure -DOUTPUT=copyright -P copyright.cmake

cmake_minimum_required(VERSION 3.25)

foreach(name LICENSE PACKAGE OUTPUT)
    if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
        message(FATAL_ERROR "copyright.cmake: ${name} is not given")
    endif()
endforeach()

file(READ "${LICENSE}" licence)
if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n")
    message(FATAL_ERROR "${LICENSE}: no \"Copyright (c)\" line")
endif()
set(holder "${CMAKE_MATCH_1}")
string(FIND "${licence}" "Permission is hereby granted" start)
if(start LESS 0)
    message(FATAL_ERROR "${LICENSE}: not the MIT licence text this script knows")
endif()
string(SUBSTRING "${licence}" ${start} -1 text)
string(STRIP "${text}" text)

# In a field's continuation lines every line starts with a space, and an
# empty line is written as " .".
string(REPLACE "\n" "\n " text " ${text}")
string(REGEX REPLACE "\n +\n" "\n .\n" text "${text}")
string(REGEX REPLACE "\n +\n" "\n .\n" text "${text}")

file(WRITE "${OUTPUT}"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${PACKAGE}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: Expat\n"
    "${text}\n")
