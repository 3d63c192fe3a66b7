/*
** log_file.h - the exit's log file as a test sees it, on Linux and on Windows.
**
** A LogFile starts with no log file and reads back what the exit appended since:
**   POSIX    a fresh directory stands for drive C: (ZTNID_DRIVE_C, restored afterwards);
**   Windows  C:\ZTMSG.TXT itself, deleted first; the Windows test programs run one at a
**            time (RUN_SERIAL), so no other program writes to it meanwhile.
** What differs: on Windows a new file starts with a byte order mark (bytes() leaves it
** out, raw() keeps it) and lines end in CRLF (lines() and texts() take either end).
*/
#ifndef ZT0NID_TESTS_LOG_FILE_H
#define ZT0NID_TESTS_LOG_FILE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace testlog {

class LogFile {
public:
#if defined(_WIN32)
    LogFile() { _wremove(L"C:\\ZTMSG.TXT"); }
    ~LogFile() = default;
#else
    LogFile() {
        char dir[] = "/tmp/ztnid-log-XXXXXX";
        if (mkdtemp(dir)) dir_ = dir;
        const char* old = std::getenv("ZTNID_DRIVE_C");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("ZTNID_DRIVE_C", dir_.c_str(), 1);
    }
    ~LogFile() {
        if (hadOld_) setenv("ZTNID_DRIVE_C", old_.c_str(), 1);
        else unsetenv("ZTNID_DRIVE_C");
        std::remove((dir_ + "/ZTMSG.TXT").c_str());
        rmdir(dir_.c_str());
    }
#endif
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    /* The file exists (the exit created or appended to it). */
    bool exists() const {
        FILE* f = open();
        if (f) std::fclose(f);
        return f != nullptr;
    }

    /* The file's bytes exactly as they are; empty when there is no file. */
    std::string raw() const {
        std::string s;
        FILE* f = open();
        if (!f) return s;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
        return s;
    }

    /* The bytes the exit wrote: raw() without the byte order mark with which the Windows
    ** runtime's UTF-8 text mode starts a new file.  Line ends stay as written. */
    std::string bytes() const {
        std::string s = raw();
        if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
        return s;
    }

    /* The lines in UTF-8, without line ends (LF on POSIX, CRLF on Windows). */
    std::vector<std::string> lines() const {
        std::string s = bytes();
        std::vector<std::string> out;
        size_t start = 0;
        while (start < s.size()) {
            size_t nl = s.find('\n', start);
            size_t end = nl == std::string::npos ? s.size() : nl;
            size_t stop = end > start && s[end - 1] == '\r' ? end - 1 : end;
            out.push_back(s.substr(start, stop - start));
            start = end + 1;
        }
        return out;
    }

    /* The lines without their timestamp ("MM/DD/YY HH:MM -", 16 characters). */
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const std::string& l : lines()) out.push_back(l.size() >= 16 ? l.substr(16) : l);
        return out;
    }

private:
#if defined(_WIN32)
    FILE* open() const { return _wfopen(L"C:\\ZTMSG.TXT", L"rb"); }
#else
    FILE* open() const { return std::fopen((dir_ + "/ZTMSG.TXT").c_str(), "rb"); }
    std::string dir_ = "/nonexistent";
    std::string old_;
    bool hadOld_ = false;
#endif
};

} // namespace testlog

#endif
