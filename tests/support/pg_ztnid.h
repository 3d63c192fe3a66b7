/* pg_ztnid.h - a PostgreSQL installation that sees this build's ztnid extension, and a small
** libpq client.  PostgreSQL finds extensions only beside its binary: ExtensionTree() copies the
** binaries into a temporary tree mirroring the installation (the rest linked, ztnid added) and
** points $ZT_PG_BINDIR at it.  Paths come from the build (sql/CMakeLists.txt). */
#ifndef ZT0NID_TESTS_PG_ZTNID_H
#define ZT0NID_TESTS_PG_ZTNID_H

#include <unistd.h>

#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/pg_cluster.h"

namespace pgtest {

/* Removes the tree at exit. */
struct TreeOwner {
    std::string root;
    ~TreeOwner() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

/* Builds the tree once; the bin folder to use, or "" with *why. */
inline std::string ExtensionTree(std::string* why) {
    static TreeOwner owner;
    static std::string bindir, reason;
    char tmpl[] = "/tmp/ztnid-pgroot-XXXXXX";
    if (bindir.empty() && reason.empty() && mkdtemp(tmpl)) {
        const std::string root = owner.root = tmpl, bin = root + ZT_PG_BINDIR, lib = root + ZT_PG_PKGLIBDIR,
                          share = root + ZT_PG_SHAREDIR, ext = ZT_PG_EXTENSION_DIR;
        // The binaries copied (the server finds its files from its own path), the rest linked.
        const std::string sh = "set -e; mkdir -p " + bin + " " + lib + " " + share + "; cd " ZT_PG_BINDIR
                               "; cp postgres initdb pg_ctl " + bin + "; cp -rs " ZT_PG_PKGLIBDIR "/. " + lib +
                               "; cp -rs " ZT_PG_SHAREDIR "/. " + share + "; cd " + ext +
                               "; cp --remove-destination ztnid.so " + lib +
                               "; cp --remove-destination *.control *.sql " + share + "/extension" +
                               "; chmod -R a+rX " + root;
        if (std::system(sh.c_str()) == 0) bindir = bin;
    }
    if (bindir.empty() && reason.empty()) reason = "cannot build the PostgreSQL tree in /tmp";
    if (!bindir.empty()) setenv("ZT_PG_BINDIR", bindir.c_str(), 1);
    if (why) *why = reason;
    return bindir;
}

/* The cluster of the program, with the tree's binaries; NULL with *why. */
inline const PgCluster* ZtnidCluster(std::string* why) {
    if (ExtensionTree(why).empty()) return nullptr;
    return SharedPgCluster(why);
}

/* A query's outcome: rows of nullable text, or an error with its SQLSTATE. */
struct QueryResult {
    bool ok = false;
    std::string error, sqlstate;
    std::vector<std::vector<std::optional<std::string>>> rows;

    /* The first column of the first row ("<NULL>" for NULL, "<ERROR ...>" on error). */
    std::string value() const {
        if (!ok) return "<ERROR " + sqlstate + ": " + error + ">";
        if (rows.empty() || rows[0].empty()) return "<no rows>";
        return rows[0][0] ? *rows[0][0] : "<NULL>";
    }
};

/* One libpq connection. */
class Connection {
public:
    explicit Connection(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {}
    ~Connection() { PQfinish(conn_); }
    Connection(const Connection&) = delete;
    bool ok() const { return PQstatus(conn_) == CONNECTION_OK; }
    std::string error() const { return PQerrorMessage(conn_); }

    QueryResult query(const std::string& sql) {
        QueryResult r;
        PGresult* res = PQexec(conn_, sql.c_str());
        r.ok = PQresultStatus(res) == PGRES_COMMAND_OK || PQresultStatus(res) == PGRES_TUPLES_OK;
        const char *message = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY),
                   *state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
        r.error = r.ok ? "" : message ? message : PQerrorMessage(conn_);
        r.sqlstate = r.ok || !state ? "" : state;
        for (int i = 0; r.ok && i < PQntuples(res); ++i) {
            r.rows.emplace_back();
            for (int j = 0; j < PQnfields(res); ++j)
                r.rows.back().push_back(PQgetisnull(res, i, j) ? std::nullopt
                                                               : std::optional<std::string>(PQgetvalue(res, i, j)));
        }
        PQclear(res);
        return r;
    }

    /* COPY ... FROM STDIN with the given data; "" on success, else the error. */
    std::string copyIn(const std::string& sql, const std::string& data) {
        PGresult* res = PQexec(conn_, sql.c_str());
        bool started = PQresultStatus(res) == PGRES_COPY_IN;
        PQclear(res);
        if (!started) return error();
        if (PQputCopyData(conn_, data.data(), int(data.size())) != 1 || PQputCopyEnd(conn_, nullptr) != 1)
            return error();
        std::string err;
        while ((res = PQgetResult(conn_))) {
            if (PQresultStatus(res) != PGRES_COMMAND_OK) err = PQresultErrorMessage(res);
            PQclear(res);
        }
        return err;
    }

private:
    PGconn* conn_;
};

} // namespace pgtest

#endif
