# Writes the changelog of the Debian package, in Debian's format, from
# CHANGELOG.md: one entry per release, its items as the entry's items, and
# the release's date and time in the trailer line.
#
#   cmake -DCHANGELOG=CHANGELOG.md -DPACKAGE=cmeasure -DVERSION=1.1.0
#         -DMAINTAINER="Name <address>" -DOUTPUT=changelog -P debian_changelog.cmake
#
# CHANGELOG.md holds, after a title and introduction that are not copied,
# one section per release, newest first:
#
#   ## VERSION - YYYY-MM-DD HH:MM UTC
#
#   - one change, which may go on over lines
#     indented by two spaces
#   - another change
#
# Anything else inside a release is refused rather than dropped, so that the
# package never says less than CHANGELOG.md. So are a newest release that is
# not VERSION (a version bump without its changelog entry) and releases out
# of order in time: the trailer time becomes SOURCE_DATE_EPOCH in Debian's
# tools, which must grow from one release to the next.

cmake_minimum_required(VERSION 3.25)

foreach(name CHANGELOG PACKAGE VERSION MAINTAINER OUTPUT)
    if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
        message(FATAL_ERROR "debian_changelog.cmake: ${name} is not given")
    endif()
endforeach()

# Debian tools need a distribution in each entry's header. The releases go
# to no archive; "unstable" is what dch gives a new package.
set(distribution unstable)
set(width 78)

# The RFC 2822 date of Debian's trailer line, e.g. "Mon, 07 Dec 2026 05:14:00
# +0000", from the fields of a heading; the weekday by Sakamoto's method.
function(rfc2822_date out year month day hour minute)
    set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
    math(EXPR index "${month} - 1")
    list(GET offsets ${index} offset)
    set(y ${year})
    if(month LESS 3)
        math(EXPR y "${y} - 1")
    endif()
    math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
    set(weekdays Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(GET weekdays ${weekday} weekday_name)
    list(GET months ${index} month_name)
    set(${out} "${weekday_name}, ${day} ${month_name} ${year} ${hour}:${minute}:00 +0000" PARENT_SCOPE)
endfunction()

# Appends one item to the text of the entry, filled to the width: "  * "
# before its first line, four spaces before the others.
function(append_item text_var item_text)
    string(STRIP "${item_text}" rest)
    set(result "${${text_var}}")
    set(lead "  * ")
    math(EXPR room "${width} - 4")
    while(NOT rest STREQUAL "")
        string(LENGTH "${rest}" length)
        if(length LESS_EQUAL room)
            set(line "${rest}")
            set(rest "")
        else()
            # The last space that leaves the line within the width, or the
            # first space at all when a single word is longer.
            math(EXPR head_length "${room} + 1")
            string(SUBSTRING "${rest}" 0 ${head_length} head)
            string(FIND "${head}" " " cut REVERSE)
            if(cut LESS 1)
                string(FIND "${rest}" " " cut)
            endif()
            if(cut LESS 1)
                set(line "${rest}")
                set(rest "")
            else()
                string(SUBSTRING "${rest}" 0 ${cut} line)
                math(EXPR cut "${cut} + 1")
                string(SUBSTRING "${rest}" ${cut} -1 rest)
                string(STRIP "${rest}" rest)
            endif()
        endif()
        string(APPEND result "${lead}${line}\n")
        set(lead "    ")
    endwhile()
    set(${text_var} "${result}" PARENT_SCOPE)
endfunction()

# Adds the item being read, if any, to the entry.
macro(finish_item)
    if(NOT item STREQUAL "")
        append_item(text "${item}")
        math(EXPR items "${items} + 1")
        set(item "")
    endif()
endmacro()

# Ends the entry of the release being read with its trailer line.
macro(finish_release)
    finish_item()
    if(items EQUAL 0)
        message(FATAL_ERROR "${CHANGELOG}: release ${release} lists no change")
    endif()
    string(APPEND text "\n${trailer}\n")
endmacro()

file(READ "${CHANGELOG}" source)
string(APPEND source "\n")

set(text "")          # the Debian changelog so far
set(release "")       # the version of the release being read, if any
set(trailer "")       # its trailer line
set(items 0)          # its number of items
set(item "")          # the item being read, joined into one line
set(newer_time "")    # YYYYMMDDHHMM of the release above it
set(number 0)
while(NOT source STREQUAL "")
    string(FIND "${source}" "\n" end)
    string(SUBSTRING "${source}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${source}" ${end} -1 source)
    math(EXPR number "${number} + 1")

    if(line MATCHES "^## ")
        if(NOT line MATCHES "^## ([0-9][0-9A-Za-z.+~]*) - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9]) ([0-9][0-9]):([0-9][0-9]) UTC$")
            message(FATAL_ERROR "${CHANGELOG}:${number}: a release heading reads "
                "\"## VERSION - YYYY-MM-DD HH:MM UTC\", not \"${line}\"")
        endif()
        set(version ${CMAKE_MATCH_1})
        set(year ${CMAKE_MATCH_2})
        set(month ${CMAKE_MATCH_3})
        set(day ${CMAKE_MATCH_4})
        set(hour ${CMAKE_MATCH_5})
        set(minute ${CMAKE_MATCH_6})
        if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31
           OR hour GREATER 23 OR minute GREATER 59)
            message(FATAL_ERROR "${CHANGELOG}:${number}: no such date and time: \"${line}\"")
        endif()
        set(time "${year}${month}${day}${hour}${minute}")
        if(release STREQUAL "" AND NOT version STREQUAL VERSION)
            message(FATAL_ERROR "${CHANGELOG}:${number}: the newest release is ${version}, "
                "but the version built is ${VERSION}: add its entry first")
        endif()
        if(NOT newer_time STREQUAL "" AND time GREATER_EQUAL newer_time)
            message(FATAL_ERROR "${CHANGELOG}:${number}: release ${version} is not older "
                "than the release above it")
        endif()
        if(NOT release STREQUAL "")
            finish_release()
            string(APPEND text "\n")
        endif()
        rfc2822_date(date ${year} ${month} ${day} ${hour} ${minute})
        string(APPEND text "${PACKAGE} (${version}) ${distribution}; urgency=medium\n\n")
        set(release ${version})
        set(trailer " -- ${MAINTAINER}  ${date}")
        set(items 0)
        set(item "")
        set(newer_time ${time})
    elseif(release STREQUAL "" OR line MATCHES "^[ \t]*$")
        # The title and introduction, and blank lines.
    elseif(line MATCHES "^- (.*)$")
        set(next "${CMAKE_MATCH_1}")
        finish_item()
        set(item "${next}")
    elseif(line MATCHES "^  +([^ ].*)$" AND NOT item STREQUAL "")
        string(APPEND item " ${CMAKE_MATCH_1}")
    else()
        message(FATAL_ERROR "${CHANGELOG}:${number}: inside a release only \"- \" items "
            "and their indented continuation lines are copied, not \"${line}\"")
    endif()
endwhile()

if(release STREQUAL "")
    message(FATAL_ERROR "${CHANGELOG}: no release heading \"## VERSION - YYYY-MM-DD HH:MM UTC\"")
endif()
finish_release()
file(WRITE "${OUTPUT}" "${text}")
