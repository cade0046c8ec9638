/* reference_bot: the least a bot of nimbrel's design can do, as the ceiling it is measured
 * against. The same system calls as nimbrel: a wait of at most a second, one read into the
 * free tail of a 2048-byte buffer, a search for LF, one send for each greeting. The
 * cheapest parse that finds a 1002's name, no handler table, no log.
 *   reference_bot     (logs on to 127.0.0.1:6112 as Guest and joins The Void) */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int Send(int fd, const char* bytes, size_t length) {
    return send(fd, bytes, length, MSG_NOSIGNAL) >= 0;
}

/* "1002 <word> <name> ...": answers "Hi, <name>!" CR LF. */
static void Answer(int fd, const char* line) {
    if (strncmp(line, "1002 ", 5) != 0) return;
    const char* word = line + 5;
    while (*word == ' ') ++word;
    const char* name = strchr(word, ' ');
    if (name == NULL) return;
    while (*name == ' ') ++name;
    size_t length = strcspn(name, " \t\r\n");
    char greeting[256] = "Hi, ";
    if (length > 127) length = 127;
    memcpy(greeting + 4, name, length);
    memcpy(greeting + 4 + length, "!\r\n", 3);
    Send(fd, greeting, length + 7);
}

int main(void) {
    const int fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    struct sockaddr_in server = {0};
    server.sin_family = AF_INET;
    server.sin_port = htons(6112);
    server.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (fd < 0 || connect(fd, (struct sockaddr*)&server, sizeof server) != 0) return 1;
    Send(fd, "\3\4Guest\r\nMarlo\r\n", 16);
    sleep(1);
    Send(fd, "/join The Void\r\n", 16);
    char buffer[2048];
    size_t start = 0, count = 0;
    for (;;) {
        struct pollfd watched = {fd, POLLIN, 0};
        if (poll(&watched, 1, 1000) == 0) continue;
        if (start + count == sizeof buffer) {
            memmove(buffer, buffer + start, count);
            start = 0;
        }
        const ssize_t received = recv(fd, buffer + start + count, sizeof buffer - start - count, 0);
        if (received <= 0) return 0;
        count += (size_t)received;
        char* lf;
        while (count > 0 && (lf = memchr(buffer + start, '\n', count)) != NULL) {
            *lf = '\0';
            Answer(fd, buffer + start);
            count -= (size_t)(lf + 1 - (buffer + start));
            start = count == 0 ? 0 : (size_t)(lf + 1 - buffer);
        }
    }
}
