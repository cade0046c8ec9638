// Preloaded into nimbrel to make the socket layer unusable: every socket() call fails.
#include <cerrno>

extern "C" int socket(int, int, int) {
    errno = EACCES;
    return -1;
}
