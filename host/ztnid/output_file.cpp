/*
** output_file.cpp - atomic replacement of an output file, and outputs that are inputs.
*/
#include "host/ztnid/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "host/ztnid/table.h"

namespace ztnid {

namespace {

enum { MAX_LINKS = 40 };

/* The temporary file a signal must remove: written before the handlers can see it,
** read by them with nothing but async-signal-safe calls. */
char g_tempPath[PATH_MAX];
volatile sig_atomic_t g_tempSet = 0;
const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/* Removes the temporary file, then dies of the signal as if nothing had caught it. */
void RemoveTempAndDie(int sig) {
    if (g_tempSet) unlink(g_tempPath);
    signal(sig, SIG_DFL);
    raise(sig);
}

void WatchSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = RemoveTempAndDie;
    sigemptyset(&sa.sa_mask);
    for (int s : kCleanupSignals) sigaddset(&sa.sa_mask, s);
    for (int s : kCleanupSignals) {
        struct sigaction old;
        /* A signal ignored by the parent (nohup) stays ignored. */
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &sa, nullptr);
    }
}

/* Sets or clears the path the handlers remove, with the signals held meanwhile. */
void SetTempForSignals(const std::string& path) {
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kCleanupSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old);
    g_tempSet = 0;
    if (!path.empty() && path.size() < sizeof g_tempPath) {
        std::memcpy(g_tempPath, path.c_str(), path.size() + 1);
        g_tempSet = 1;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

std::string Why() { return std::strerror(errno); }

/* The path with every symbolic link of its last component followed; a dangling link
** gives the path it points to, which is then created, as a shell redirection does. */
std::string FollowLinks(const std::string& path) {
    std::string p = path;
    for (int hop = 0; hop < MAX_LINKS; ++hop) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        char buf[PATH_MAX];
        ssize_t n = readlink(p.c_str(), buf, sizeof buf - 1);
        if (n < 0) throw RunError("cannot read the link " + p + ": " + Why());
        std::string to(buf, size_t(n));
        size_t slash = p.rfind('/');
        p = to[0] == '/' || slash == std::string::npos ? to : p.substr(0, slash + 1) + to;
    }
    throw RunError("cannot write " + path + ": too many levels of symbolic links");
}

/* The mode a new file gets: 0666 less the umask. */
mode_t NewFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

/* Gives the temporary file the target's owner and mode (set-id bits only with the
** owner), or a new file's mode.  A mode that cannot be set leaves mkstemp's 0600. */
void KeepMode(int fd, const struct stat* st) {
    if (!st) {
        (void)!fchmod(fd, NewFileMode());
        return;
    }
    bool owned = fchown(fd, st->st_uid, st->st_gid) == 0;
    (void)!fchmod(fd, st->st_mode & (owned ? 07777 : 0777));
}

} // namespace

FILE* OutputFile::open() {
    target_ = FollowLinks(path_);
    struct stat st;
    bool exists = stat(target_.c_str(), &st) == 0;
    if (exists && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        /* Written through; it is no file that could be replaced. */
        file_ = std::fopen(target_.c_str(), "wb");
        if (!file_) throw RunError("cannot open " + path_ + ": " + Why());
        return file_;
    }
    if (exists && !S_ISREG(st.st_mode))
        throw RunError("cannot write " + path_ + ": " +
                       (S_ISDIR(st.st_mode) ? "it is a directory" : "it is neither a regular file, a FIFO nor a character device"));

    size_t slash = target_.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string tmpl = dir + base + ".ztnid-XXXXXX";
    WatchSignals();
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kCleanupSignals) sigaddset(&block, s);
    sigprocmask(SIG_BLOCK, &block, &old); /* no signal between creating and registering */
    int fd = mkstemp(tmpl.data()); /* O_CREAT | O_EXCL: never an existing file or link */
    int err = errno;
    if (fd >= 0) SetTempForSignals(tmpl);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) throw RunError("cannot create a temporary file beside " + target_ + ": " + std::strerror(err));
    temp_ = tmpl;
    KeepMode(fd, exists ? &st : nullptr);
    file_ = fdopen(fd, "wb");
    if (!file_) {
        close(fd);
        discard();
        throw RunError("cannot write " + path_ + ": " + Why());
    }
    return file_;
}

void OutputFile::commit() {
    FILE* f = file_;
    file_ = nullptr;
    if (!f) return;
    int err = 0;
    if (std::fflush(f) != 0 || (!temp_.empty() && fsync(fileno(f)) != 0)) err = errno;
    if (std::fclose(f) != 0 && !err) err = errno;
    if (!err && !temp_.empty() && std::rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
    if (err) {
        discard();
        throw RunError("cannot write " + path_ + ": " + std::strerror(err));
    }
    temp_.clear();
    SetTempForSignals("");
}

void OutputFile::discard() noexcept {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    SetTempForSignals("");
}

/* ------------------------------------------------------------------ inputs and outputs */

namespace {

bool IdOfStat(const struct stat& st, std::string what, FileId* id) {
    if (S_ISCHR(st.st_mode)) return false;
    *id = FileId{std::move(what), st.st_dev, st.st_ino};
    return true;
}

} // namespace

bool IdOfPath(const std::string& path, std::string what, FileId* id) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && IdOfStat(st, std::move(what), id);
}

bool IdOfDescriptor(int fd, std::string what, FileId* id) {
    struct stat st;
    return fstat(fd, &st) == 0 && IdOfStat(st, std::move(what), id);
}

void RefuseOutputThatIsAnInput(const std::vector<FileId>& inputs, const std::vector<FileId>& outputs) {
    for (const FileId& o : outputs)
        for (const FileId& i : inputs)
            if (o.dev == i.dev && o.ino == i.ino)
                throw RunError(o.what + " is " + i.what + ": an output may not be an input");
}

} // namespace ztnid
