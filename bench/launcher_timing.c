/* Stands in for Extensions/chainlaunch.exe during the launcher benchmark:
 * notes the time it was started, runs the real launcher (chainlaunch.real,
 * next to it) with the same arguments, notes the time the launcher ended,
 * and ends with the launcher's status. The notes go to the file named by
 * ORVA_BENCH_LOG, one line each:
 *   launcher-start <pid> <seconds since the epoch> <first argument>
 *   launcher-end   <pid> <seconds since the epoch> <first argument>
 * so that the delay between one run's end and ORVA's next start of the same
 * pair can be read off precisely, without tracing ORVA. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static void note(const char* kind, const char* key)
{
    const char* log = getenv("ORVA_BENCH_LOG");
    if (log == NULL)
        return;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char line[4096];
    int length = snprintf(line, sizeof line, "%s %d %lld.%09ld %s\n", kind, (int)getpid(),
                          (long long)now.tv_sec, now.tv_nsec, key);
    if (length < 0 || length >= (int)sizeof line)
        return;
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return;
    if (write(fd, line, (size_t)length) < 0) {
        /* A lost note only loses one sample. */
    }
    close(fd);
}

int main(int argc, char** argv)
{
    const char* key = argc > 1 ? argv[1] : "-";
    note("launcher-start", key);

    char self[4096];
    ssize_t size = readlink("/proc/self/exe", self, sizeof self - 32);
    if (size < 0)
        return 127;
    self[size] = '\0';
    char real[4096];
    snprintf(real, sizeof real, "%s/chainlaunch.real", dirname(self));

    pid_t child = fork();
    if (child < 0)
        return 127;
    if (child == 0) {
        execv(real, argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    note("launcher-end", key);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
