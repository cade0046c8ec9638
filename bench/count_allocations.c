/* Preloaded into a bot (LD_PRELOAD): counts its heap allocations and, when it is stopped
 * with SIGTERM, writes "allocations=N" to standard error. */
#include <signal.h>
#include <stddef.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* old, size_t size);

static volatile unsigned long allocations;

void* malloc(size_t size) {
    ++allocations;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    ++allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* old, size_t size) {
    ++allocations;
    return __libc_realloc(old, size);
}

static void Report(int signal) {
    char line[40] = "allocations=";
    char digits[24];
    int n = 0;
    unsigned long count = allocations;
    do digits[n++] = (char)('0' + count % 10);
    while ((count /= 10) > 0);
    size_t at = 12;
    while (n > 0) line[at++] = digits[--n];
    line[at++] = '\n';
    (void)!write(2, line, at);
    _exit(128 + signal);
}

__attribute__((constructor)) static void Start(void) { signal(SIGTERM, Report); }
