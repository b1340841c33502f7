/* A Windows program under Wine that runs the Linux program of its own name
 * (python3.exe runs python3) as its child and waits for it, so a Windows
 * test can start, talk to, wait for and stop a Linux-side service as any
 * other process. Built with winegcc: it calls Win32 and the C library both.
 * Arguments that are Windows paths reach the Linux program as its paths. */
#include <windows.h>

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

/* ntdll's, for Winelib programs; Debian ships no header for it. */
NTSTATUS CDECL wine_server_handle_to_fd(HANDLE handle, unsigned int access, int* unix_fd,
                                        unsigned int* options);

static int is_dos_path(const char* s) {
    return ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')) && s[1] == ':' &&
           (s[2] == '\\' || s[2] == '/');
}

static char* unix_path(const char* dos) {
    WCHAR wide[MAX_PATH * 4];
    if (!MultiByteToWideChar(CP_UTF8, 0, dos, -1, wide, MAX_PATH * 4))
        return strdup(dos);
    char* path = wine_get_unix_file_name(wide);
    return path ? strdup(path) : strdup(dos);
}

/* A path alone, or the value of --option=path. */
static char* translate(const char* arg) {
    if (is_dos_path(arg))
        return unix_path(arg);
    const char* eq = strchr(arg, '=');
    if (arg[0] == '-' && eq && is_dos_path(eq + 1)) {
        char* path = unix_path(eq + 1);
        size_t head = (size_t)(eq + 1 - arg);
        char* out = malloc(head + strlen(path) + 1);
        memcpy(out, arg, head);
        strcpy(out + head, path);
        free(path);
        return out;
    }
    return strdup(arg);
}

struct relay {
    int fd;
    HANDLE handle;
};

static DWORD WINAPI to_child(void* arg) {
    struct relay* r = arg;
    char buffer[65536];
    DWORD got;
    while (ReadFile(r->handle, buffer, sizeof buffer, &got, NULL) && got > 0)
        for (DWORD done = 0; done < got;) {
            ssize_t n = write(r->fd, buffer + done, got - done);
            if (n <= 0)
                goto end;
            done += (DWORD)n;
        }
end:
    close(r->fd);
    return 0;
}

static DWORD WINAPI from_child(void* arg) {
    struct relay* r = arg;
    char buffer[65536];
    ssize_t n;
    while ((n = read(r->fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        DWORD written;
        if (n > 0 && !WriteFile(r->handle, buffer, (DWORD)n, &written, NULL))
            break;
    }
    close(r->fd);
    return 0;
}

int main(int argc, char** argv) {
    const char* base = strrchr(argv[0], '\\');
    base = base ? base + 1 : argv[0];
    const char* slash = strrchr(base, '/');
    base = slash ? slash + 1 : base;
    char* name = strdup(base);
    size_t n = strlen(name);
    if (n > 7 && strcasecmp(name + n - 7, ".exe.so") == 0)
        name[n - 7] = '\0';
    else if (n > 4 && strcasecmp(name + n - 4, ".exe") == 0)
        name[n - 4] = '\0';

    char** args = calloc((size_t)argc + 1, sizeof *args);
    args[0] = name;
    for (int i = 1; i < argc; ++i)
        args[i] = translate(argv[i]);

    /* A Linux child cannot use Wine's pipes (QProcess's) as descriptors:
     * those are relayed through pipes of its own; files and consoles are
     * handed over as they are. */
    const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    int fds[3];
    int relay[3] = {-1, -1, -1};
    for (int i = 0; i < 3; ++i) {
        HANDLE h = GetStdHandle(which[i]);
        fds[i] = -1;
        if (!h || h == INVALID_HANDLE_VALUE || wine_server_handle_to_fd(h, 0, &fds[i], NULL) == 0)
            continue;
        int p[2];
        if (pipe(p) != 0)
            continue;
        fds[i] = i == 0 ? p[0] : p[1];
        relay[i] = i == 0 ? p[1] : p[0];
    }

    /* The Linux program works where the Windows caller told this one to. */
    WCHAR cwd[MAX_PATH * 4];
    char* unix_cwd = NULL;
    if (GetCurrentDirectoryW(MAX_PATH * 4, cwd))
        unix_cwd = wine_get_unix_file_name(cwd);

    pid_t child = fork();
    if (child < 0) {
        perror("fork");
        return 127;
    }
    if (child == 0) {
        /* Stopping this program (TerminateProcess) stops the service too. */
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (int i = 0; i < 3; ++i)
            if (fds[i] >= 0 && fds[i] != i)
                dup2(fds[i], i);
        for (int i = 0; i < 3; ++i)
            if (relay[i] >= 0)
                close(relay[i]);
        if (unix_cwd && chdir(unix_cwd) != 0)
            perror(unix_cwd);
        execvp(name, args);
        fprintf(stderr, "%s: %s\n", name, strerror(errno));
        _exit(127);
    }
    HANDLE threads[3];
    int relays = 0;
    for (int i = 0; i < 3; ++i) {
        if (relay[i] < 0)
            continue;
        close(fds[i]);
        struct relay* r = malloc(sizeof *r);
        r->fd = relay[i];
        r->handle = GetStdHandle(which[i]);
        HANDLE t = CreateThread(NULL, 0, i == 0 ? to_child : from_child, r, 0, NULL);
        if (i > 0)
            threads[relays++] = t;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    /* The child's last output reaches the reader before it sees the end. */
    WaitForMultipleObjects((DWORD)relays, threads, TRUE, 5000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
