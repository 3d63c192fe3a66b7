/*
** pg_cluster.h - a throwaway PostgreSQL cluster for the tests of one program: initdb and
** pg_ctl (as `postgres` when run as root) in a temporary directory, listening only on a Unix
** socket there.  A watchdog process stops the server and removes the directory when the
** program ends, however it ends: it waits on a pipe only the program holds open.
** The binaries are the newest /usr/lib/postgresql/N/bin, or $ZT_PG_BINDIR.
*/
#ifndef ZT0NID_TESTS_PG_CLUSTER_H
#define ZT0NID_TESTS_PG_CLUSTER_H

#if !defined(_WIN32)

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace pgtest {

struct PgCluster {
    std::string bindir, dir; /* initdb and pg_ctl; data/, the socket, server.log */
    uid_t uid = 0;           /* the server's user */
    gid_t gid = 0;

    /* libpq connection string for a database of the cluster (superuser postgres). */
    std::string conninfo(const std::string& db = "postgres") const {
        return "host=" + dir + " port=5432 dbname=" + db + " user=postgres";
    }
};

namespace detail {

/* Runs args as the cluster's user, output to log; the exit status. */
inline int RunAs(const PgCluster& c, const std::vector<std::string>& args, const std::string& log) {
    pid_t pid = fork();
    if (pid == 0) {
        if (getuid() == 0 && c.uid != 0 && (setgid(c.gid) != 0 || setuid(c.uid) != 0)) _exit(126);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600), in = open("/dev/null", O_RDONLY);
        dup2(out, 1), dup2(out, 2), dup2(in, 0);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0) {}
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string NewestBindir() {
    if (const char* env = std::getenv("ZT_PG_BINDIR")) return env;
    std::string best;
    int bestVersion = -1;
    if (DIR* d = opendir("/usr/lib/postgresql")) {
        while (dirent* e = readdir(d)) {
            std::string bin = std::string("/usr/lib/postgresql/") + e->d_name + "/bin";
            if (std::atoi(e->d_name) > bestVersion && access((bin + "/initdb").c_str(), X_OK) == 0)
                bestVersion = std::atoi(e->d_name), best = bin;
        }
        closedir(d);
    }
    return best;
}

/* The watchdog: once the program's end of the pipe closes, stops the server and removes the tree. */
inline void StartWatchdog(const PgCluster& c, int readEnd, int writeEnd) {
    if (fork() != 0) return;
    close(writeEnd);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_IGN);
    setsid();
    int null = open("/dev/null", O_RDWR); /* holds none of the program's pipes open */
    dup2(null, 0), dup2(null, 1), dup2(null, 2);
    char byte;
    while (read(readEnd, &byte, 1) != 0) {}
    RunAs(c, {c.bindir + "/pg_ctl", "-D", c.dir + "/data", "-m", "immediate", "-w", "stop"}, "/dev/null");
    std::error_code ec;
    std::filesystem::remove_all(c.dir, ec);
    _exit(0);
}

/* Why the cluster's directory and watchdog cannot be made, or "". */
inline std::string Prepare(PgCluster* c) {
    char tmpl[] = "/tmp/ztnid-pg-XXXXXX";
    passwd* pw = getuid() == 0 ? getpwnam("postgres") : nullptr;
    if ((c->bindir = NewestBindir()).empty()) return "PostgreSQL server not installed (no /usr/lib/postgresql/N/bin)";
    if (getuid() == 0 && !pw) return "running as root and there is no postgres user";
    if (!mkdtemp(tmpl)) return "cannot make a temporary directory";
    c->dir = tmpl;
    c->uid = pw ? pw->pw_uid : getuid();
    c->gid = pw ? pw->pw_gid : getgid();
    if (chown(tmpl, c->uid, c->gid) != 0) return "cannot give the directory to the server's user";
    int fds[2]; /* close-on-exec: no child program keeps the cluster alive */
    if (pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
    StartWatchdog(*c, fds[0], fds[1]);
    close(fds[0]);
    return "";
}

/* The started cluster, or NULL with *why. */
inline PgCluster* Start(std::string* why) {
    auto* c = new PgCluster;
    if (!(*why = Prepare(c)).empty()) return nullptr;
    const std::string log = c->dir + "/server.log", data = c->dir + "/data";
    const std::string opts = "-k " + c->dir + " -p 5432 -c listen_addresses='' -c fsync=off -c full_page_writes=off";
    if (RunAs(*c, {c->bindir + "/initdb", "-D", data, "-U", "postgres", "-A", "trust", "-E", "UTF8", "--locale=C",
                   "--no-sync"}, log) != 0)
        *why = "initdb failed (see " + log + ")";
    else if (RunAs(*c, {c->bindir + "/pg_ctl", "-D", data, "-o", opts, "-l", log, "-w", "-t", "60", "start"},
                   c->dir + "/pg_ctl.log") != 0)
        *why = "pg_ctl start failed (see " + log + ")";
    return why->empty() ? c : nullptr;
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
