# Read by cpack for each package it makes. A Debian package must name a
# maintainer with a real address, which the project has none to give, and
# needs dpkg-shlibdeps and file for its dependencies; configure found what
# is missing, if anything, and without it no Debian package is made.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_CMEASURE_PACKAGE_OFF)
    message(FATAL_ERROR "No Debian package: ${CPACK_CMEASURE_PACKAGE_OFF}; "
        "configure, build, then run cpack again.")
endif()
