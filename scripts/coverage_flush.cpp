// Linked into nimbrel in the build that counts coverage only (NIMBREL_COVERAGE, the valgrind
// preset): tests stop the program with SIGTERM, and its counts must still reach the disk.
#include <signal.h>
#include <unistd.h>

extern "C" void __gcov_dump();

namespace {

void DumpAndExit(int signal) {
    __gcov_dump();
    ::_exit(128 + signal);
}

const bool installed = (::signal(SIGTERM, DumpAndExit), true);

}  // namespace
