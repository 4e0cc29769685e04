/* usernsrun CMD...: runs CMD as the first process of a new user, mount and PID namespace whose
   user ids map one to one onto the caller's. In it a private binfmt_misc can be mounted (Linux 6.7
   and later) without touching the machine's own; everything started inside ends with CMD. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

static void write_map(pid_t pid, const char *file) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/%s", (int)pid, file);
    int fd = open(path, O_WRONLY);
    const char *map = "0 0 4294967295\n";
    if (fd < 0 || write(fd, map, strlen(map)) < 0) { perror(path); exit(1); }
    close(fd);
}

static int status_code(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st); }

int main(int argc, char **argv) {
    int ready[2], go[2], st;
    char c;
    if (argc < 2) { fprintf(stderr, "usage: %s command...\n", argv[0]); return 2; }
    if (pipe(ready) || pipe(go)) return 1;
    pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWPID)) { perror("unshare"); _exit(1); }
        if (write(ready[1], "x", 1) != 1 || read(go[0], &c, 1) != 1) _exit(1);
        if (setgid(0) || setuid(0)) { perror("setuid"); _exit(1); }
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        pid_t init = fork();  /* the first process of the new PID namespace */
        if (init == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execvp(argv[1], argv + 1);
            perror(argv[1]);
            _exit(127);
        }
        if (init < 0 || waitpid(init, &st, 0) < 0) _exit(1);
        _exit(status_code(st));
    }
    if (read(ready[0], &c, 1) != 1) return 1;
    write_map(child, "uid_map");
    write_map(child, "gid_map");
    if (write(go[1], "x", 1) != 1) return 1;
    if (waitpid(child, &st, 0) < 0) return 1;
    return status_code(st);
}
