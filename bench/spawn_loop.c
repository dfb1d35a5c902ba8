/* The limit: start a program N times and wait for each, the way Tarnwick
   starts its mailer (posix_spawn, a new session, standard handles on
   /dev/null, no inherited descriptors, default signals, a pidfd to wait on),
   and nothing else. Prints the total seconds.
   With -d FILE, the durable limit: before each start, 64 bytes are written in
   place into FILE (laid out with zeros first) and synced, as a journal that
   must be on the disk before its mailer starts.
   Usage: spawn_loop [-d FILE] N program [args...] */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double Now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    const char* durable = NULL;
    if (argc > 2 && strcmp(argv[1], "-d") == 0) {
        durable = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: spawn_loop [-d FILE] N program [args...]\n");
        return 2;
    }
    const long n = atol(argv[1]);
    int journal = -1;
    static const char zeros[1 << 16];
    static const char entry[64] = "a journal entry of 64 bytes, written in place and synced.......\n";
    if (durable) {
        journal = open(durable, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        for (long long left = (long long)n * 64; journal >= 0 && left > 0; left -= (long long)sizeof zeros)
            if (write(journal, zeros, left < (long long)sizeof zeros ? (size_t)left : sizeof zeros) < 0)
                return 1;
        if (journal < 0 || fsync(journal) != 0) {
            perror(durable);
            return 1;
        }
    }
    const double start = Now();
    for (long i = 0; i < n; ++i) {
        if (journal >= 0 && (pwrite(journal, entry, sizeof entry, (off_t)i * 64) != (ssize_t)sizeof entry || fdatasync(journal) != 0)) {
            perror(durable);
            return 1;
        }
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &all);
        pid_t pid;
        if (posix_spawn(&pid, argv[2], &actions, &attr, argv + 2, environ) != 0) {
            perror("posix_spawn");
            return 1;
        }
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        const int pidfd = (int)syscall(SYS_pidfd_open, pid, 0);
        struct pollfd p = {pidfd, POLLIN, 0};
        while (poll(&p, 1, 100) == 0) {
        }
        siginfo_t info;
        waitid(P_PIDFD, (id_t)pidfd, &info, WEXITED);
        close(pidfd);
    }
    printf("%.6f\n", Now() - start);
    return 0;
}
