# Cross-building for another Linux architecture with Debian's cross compilers; the preset
# names the GNU triplet in NIMBREL_TRIPLE (aarch64-linux-gnu, arm-linux-gnueabihf,
# s390x-linux-gnu). Nothing emulates here: the programs, tests among them, run through
# binfmt_misc and qemu-user, with the architecture's loader and libraries from Debian's
# multiarch (scripts/need).
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NIMBREL_TRIPLE)
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${NIMBREL_TRIPLE}")
set(CMAKE_C_COMPILER ${NIMBREL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${NIMBREL_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${NIMBREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${NIMBREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
