# The version of nimbrel, the client library and the program alike: the one place it is
# written. The project, the packages, the CMake and pkg-config files and <nimbrel/version.h>
# all take it from here.
set(NIMBREL_VERSION 0.2.0)
