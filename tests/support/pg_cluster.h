/* pg_cluster.h - a throwaway PostgreSQL cluster for one program: initdb and pg_ctl (as `postgres`
** when root) in a temporary directory, on a Unix socket there; binaries of $ZT_PG_BINDIR or the
** newest /usr/lib/postgresql/N/bin. */
#ifndef ZT0NID_TESTS_PG_CLUSTER_H
#define ZT0NID_TESTS_PG_CLUSTER_H

#if !defined(_WIN32)

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace pgtest {

struct PgCluster {
    std::string bindir, dir; /* initdb and pg_ctl; data/, the socket and the logs */

    /* libpq connection string for a database of the cluster (superuser postgres). */
    std::string conninfo(const std::string& db = "postgres") const {
        return "host=" + dir + " port=5432 dbname=" + db + " user=postgres";
    }
};

namespace detail {

/* A shell command run as the server's user, its output to log. */
inline int RunAsServer(const std::string& command, const std::string& log) {
    std::string as = getuid() == 0 ? "runuser -u postgres -- " : "";
    return std::system((as + command + " >" + log + " 2>&1 </dev/null").c_str());
}

inline std::string NewestBindir() {
    if (const char* env = std::getenv("ZT_PG_BINDIR")) return env;
    std::string best;
    std::error_code ec;
    for (int v = 0, bestVersion = 0; const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
        if ((v = std::atoi(e.path().filename().c_str())) > bestVersion &&
            std::filesystem::exists(e.path() / "bin/initdb"))
            bestVersion = v, best = (e.path() / "bin").string();
    return best;
}

/* The started cluster, or NULL with *why. */
inline PgCluster* Start(std::string* why) {
    auto* c = new PgCluster{NewestBindir(), ""};
    char tmpl[] = "/tmp/ztnid-pg-XXXXXX";
    if (c->bindir.empty()) *why = "PostgreSQL server not installed (no /usr/lib/postgresql/N/bin/initdb)";
    else if (!mkdtemp(tmpl) || (getuid() == 0 && std::system(("chown postgres: " + std::string(tmpl)).c_str()) != 0))
        *why = "cannot make a temporary directory for the server's user";
    if (!why->empty()) return nullptr;
    c->dir = tmpl;
    // At the end of a pipe only this process holds, however it ends: stop the server, remove the directory.
    const std::string stop = "p=$(head -n 1 " + c->dir + "/data/postmaster.pid); kill -QUIT $p;"
                             " while kill -0 $p; do sleep 0.1; done; rm -rf " + c->dir;
    if (!popen(("setsid sh -c 'trap \"\" INT TERM HUP; cat; " + stop + "' >/dev/null 2>&1").c_str(), "we"))
        *why = "cannot start the watchdog";
    if (!why->empty()) return nullptr;
    const std::string opts = "-k " + c->dir + " -p 5432 -c listen_addresses= -c fsync=off -c full_page_writes=off";
    if (RunAsServer(c->bindir + "/initdb -D " + c->dir + "/data -U postgres -A trust -E UTF8 --locale=C --no-sync",
                    c->dir + "/initdb.log") != 0)
        *why = "initdb failed (see " + c->dir + "/initdb.log)";
    else if (RunAsServer(c->bindir + "/pg_ctl -D " + c->dir + "/data -o '" + opts + "' -l " + c->dir +
                             "/server.log -w -t 60 start", c->dir + "/pg_ctl.log") != 0)
        *why = "pg_ctl start failed (see " + c->dir + "/server.log)";
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
