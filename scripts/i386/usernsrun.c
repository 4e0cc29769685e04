/* usernsrun CMD...: runs CMD as the first process of a new user, mount and PID namespace in which
   it is root. Real root's ids map one to one; anyone else's own uid and gid map to 0 (all that an
   unprivileged caller may map). In it a private binfmt_misc can be mounted (Linux 6.7 and later)
   without touching the machine's own; everything started inside ends with CMD. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

/* Writes `text` into /proc/PID/FILE; false (with the reason on stderr) when the kernel refuses. */
static int write_proc(pid_t pid, const char *file, const char *text) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/%s", (int)pid, file);
    int fd = open(path, O_WRONLY);
    if (fd < 0 || write(fd, text, strlen(text)) < 0) {
        fprintf(stderr, "usernsrun: cannot write %s: %s\n", path, strerror(errno));
        if (fd >= 0) close(fd);
        return 0;
    }
    close(fd);
    return 1;
}

static int status_code(int st) { return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st); }

int main(int argc, char **argv) {
    int ready[2], go[2], st;
    char c;
    if (argc < 2) { fprintf(stderr, "usage: %s command...\n", argv[0]); return 2; }
    if (pipe(ready) || pipe(go)) return 1;
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        close(ready[0]);
        close(go[1]);  /* the parent's end only: its exit then ends the wait below */
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWPID)) {
            fprintf(stderr, "usernsrun: cannot make a user namespace: %s\n", strerror(errno));
            _exit(1);
        }
        if (write(ready[1], "x", 1) != 1 || read(go[0], &c, 1) != 1) _exit(1);
        if (setgid(0) || setuid(0)) { perror("usernsrun: setuid"); _exit(1); }
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
    close(ready[1]);
    close(go[0]);
    int mapped = 0;
    if (read(ready[0], &c, 1) == 1) {
        char map[64];
        if (uid == 0) {
            mapped = write_proc(child, "uid_map", "0 0 4294967295\n") &&
                     write_proc(child, "gid_map", "0 0 4294967295\n");
        } else {
            snprintf(map, sizeof map, "0 %u 1\n", (unsigned)uid);
            mapped = write_proc(child, "uid_map", map) &&
                     write_proc(child, "setgroups", "deny\n");
            snprintf(map, sizeof map, "0 %u 1\n", (unsigned)gid);
            mapped = mapped && write_proc(child, "gid_map", map);
        }
    }
    if (!mapped || write(go[1], "x", 1) != 1) {
        /* The child waits for the go: it is ended here rather than left blocked on its pipe. */
        kill(child, SIGKILL);
        waitpid(child, &st, 0);
        fprintf(stderr, "usernsrun: the namespace could not be set up; nothing was run\n");
        return 1;
    }
    if (waitpid(child, &st, 0) < 0) return 1;
    return status_code(st);
}
