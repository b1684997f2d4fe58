# Read by cpack for each package it makes. A Debian package must name a
# maintainer with a real address; the project has none to give, so the
# packager sets CMEASURE_MAINTAINER when configuring, and without it no
# Debian package is made.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGE_CONTACT)
    message(FATAL_ERROR "No maintainer for the Debian package: configure with "
        "-DCMEASURE_MAINTAINER=\"Name <address>\", build, then run cpack again.")
endif()
