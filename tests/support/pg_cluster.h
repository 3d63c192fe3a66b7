/*
** pg_cluster.h - a throwaway PostgreSQL cluster for the tests of one program.
**
** SharedPgCluster() makes it on first use: initdb and pg_ctl in a fresh temporary
** directory (as the `postgres` user when the tests run as root, since initdb refuses
** root), listening only on a Unix socket in that directory.  A watchdog process stops
** the server and removes the directory when the test program ends, however it ends
** (a failed assertion, an exception, a crash, SIGKILL): it waits on a pipe that only
** the test program holds open.
**
** The binaries are the newest /usr/lib/postgresql/N/bin, or $ZT_PG_BINDIR.
*/
#ifndef ZT0NID_TESTS_PG_CLUSTER_H
#define ZT0NID_TESTS_PG_CLUSTER_H

#if !defined(_WIN32)

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace pgtest {

struct PgCluster {
    std::string bindir;           /* initdb, pg_ctl, psql */
    std::string dir;              /* temporary directory: data/, the socket, server.log */
    std::string socketDir;
    int port = 5432;
    uid_t uid = 0;                /* the server's user (postgres when run as root) */
    gid_t gid = 0;

    /* libpq connection string for a database of the cluster (superuser postgres). */
    std::string conninfo(const std::string& db = "postgres") const {
        return "host=" + socketDir + " port=" + std::to_string(port) + " dbname=" + db + " user=postgres";
    }
};

namespace detail {

/* Runs argv as the cluster's user with stdout and stderr to `log`; the exit status. */
inline int RunAs(const PgCluster& c, const std::vector<std::string>& args, const std::string& log) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (getuid() == 0 && c.uid != 0 && (setgid(c.gid) != 0 || setuid(c.uid) != 0)) _exit(126);
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);  /* as the server's user */
        int in = open("/dev/null", O_RDONLY);
        if (fd >= 0) { dup2(fd, 1); dup2(fd, 2); }
        if (in >= 0) dup2(in, 0);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string NewestBindir() {
    if (const char* env = std::getenv("ZT_PG_BINDIR")) return env;
    std::string best;
    int bestVersion = -1;
    if (DIR* d = opendir("/usr/lib/postgresql")) {
        while (dirent* e = readdir(d)) {
            int v = std::atoi(e->d_name);
            std::string bin = std::string("/usr/lib/postgresql/") + e->d_name + "/bin";
            if (v > bestVersion && access((bin + "/initdb").c_str(), X_OK) == 0) { bestVersion = v; best = bin; }
        }
        closedir(d);
    }
    return best;
}

/* Removes a directory tree (the cluster's; no links to follow out of it matter here). */
inline void RemoveTree(const std::string& path) {
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            std::string p = path + "/" + name;
            struct stat st;
            if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveTree(p);
            else unlink(p.c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

/* The watchdog: blocks until the test program's end of the pipe closes, then stops the
** server at once and removes the directory. */
inline void StartWatchdog(const PgCluster& c, int readEnd, int writeEnd) {
    pid_t pid = fork();
    if (pid != 0) return;
    close(writeEnd);
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    setsid();
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) { dup2(null, 0); dup2(null, 1); dup2(null, 2); }
    char byte;
    while (read(readEnd, &byte, 1) != 0) {}
    RunAs(c, {c.bindir + "/pg_ctl", "-D", c.dir + "/data", "-m", "immediate", "-w", "stop"}, "/dev/null");
    RemoveTree(c.dir);
    _exit(0);
}

inline PgCluster* Start(std::string* why) {
    auto* c = new PgCluster;
    c->bindir = NewestBindir();
    if (c->bindir.empty()) { *why = "PostgreSQL server not installed (no /usr/lib/postgresql/N/bin/initdb)"; return nullptr; }
    char tmpl[] = "/tmp/ztnid-pg-XXXXXX";
    if (!mkdtemp(tmpl)) { *why = "cannot make a temporary directory"; return nullptr; }
    c->dir = tmpl;
    c->socketDir = c->dir;
    c->uid = getuid();
    c->gid = getgid();
    if (getuid() == 0) {
        passwd* pw = getpwnam("postgres");
        if (!pw) { *why = "running as root and there is no postgres user"; return nullptr; }
        c->uid = pw->pw_uid;
        c->gid = pw->pw_gid;
        if (chown(c->dir.c_str(), c->uid, c->gid) != 0) { *why = "cannot give the directory to postgres"; return nullptr; }
    }
    // Only this process holds the write end (close-on-exec: no child program keeps the
    // cluster alive); the watchdog sees end of file when the program is gone.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) { *why = "pipe failed"; return nullptr; }
    StartWatchdog(*c, fds[0], fds[1]);
    close(fds[0]);

    const std::string log = c->dir + "/server.log";
    if (RunAs(*c, {c->bindir + "/initdb", "-D", c->dir + "/data", "-U", "postgres", "-A", "trust", "-E", "UTF8",
                   "--locale=C", "--no-sync"}, log) != 0) {
        *why = "initdb failed (see " + log + ")";
        return nullptr;
    }
    const std::string opts = "-k " + c->socketDir + " -p " + std::to_string(c->port) +
                             " -c listen_addresses='' -c fsync=off -c full_page_writes=off";
    if (RunAs(*c, {c->bindir + "/pg_ctl", "-D", c->dir + "/data", "-o", opts, "-l", log, "-w", "-t", "60", "start"},
              c->dir + "/pg_ctl.log") != 0) {
        *why = "pg_ctl start failed (see " + log + ")";
        return nullptr;
    }
    return c;
}

} // namespace detail

/* The program's cluster, started on first use; NULL with *why when it cannot start. */
inline const PgCluster* SharedPgCluster(std::string* why = nullptr) {
    static std::string reason;
    static PgCluster* cluster = detail::Start(&reason);
    if (!cluster && why) *why = reason;
    return cluster;
}

} // namespace pgtest

#endif
#endif
