/* log_file.h - the exit's log file, none at first: POSIX, in a fresh directory standing for
** drive C: (ZTNID_DRIVE_C); Windows, C:\ZTMSG.TXT deleted first (programs run one at a time). */
#ifndef ZT0NID_TESTS_LOG_FILE_H
#define ZT0NID_TESTS_LOG_FILE_H

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testlog {

class LogFile {
public:
#if defined(_WIN32)
    LogFile() : path_("C:\\ZTMSG.TXT") { std::filesystem::remove(path_, ignored_); }
#else
    LogFile() {
        char dir[] = "/tmp/ztnid-log-XXXXXX";
        dir_ = mkdtemp(dir) ? dir : "/nonexistent";
        path_ = dir_ / "ZTMSG.TXT";
        const char* old = std::getenv("ZTNID_DRIVE_C");
        old_ = old ? old : "";
        setenv("ZTNID_DRIVE_C", dir_.c_str(), 1);
    }
    ~LogFile() {
        if (!old_.empty()) setenv("ZTNID_DRIVE_C", old_.c_str(), 1);
        else unsetenv("ZTNID_DRIVE_C");
        std::filesystem::remove_all(dir_, ignored_);
    }
#endif
    LogFile(const LogFile&) = delete;

    bool exists() const { return std::filesystem::exists(path_, ignored_); }

    /* The file's bytes (a byte order mark included); empty when there is no file. */
    std::string raw() const {
        std::ifstream f(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    /* The lines in UTF-8, without byte order mark and line ends (LF or CRLF). */
    std::vector<std::string> lines() const {
        std::string s = raw();
        if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
        std::vector<std::string> out;
        for (size_t start = 0, end; start < s.size(); start = end + 1) {
            end = std::min(s.find('\n', start), s.size());
            out.push_back(s.substr(start, end - start - (end > start && s[end - 1] == '\r')));
        }
        return out;
    }

    /* The lines without their timestamp ("MM/DD/YY HH:MM -", 16 characters). */
    std::vector<std::string> texts() const {
        std::vector<std::string> out = lines();
        for (std::string& l : out) l.erase(0, l.size() >= 16 ? 16 : 0);
        return out;
    }

    /* The messages of the tagged lines: the texts after "ZTNID : ". */
    std::vector<std::string> tagged() const {
        std::vector<std::string> out;
        for (const std::string& t : texts())
            if (t.rfind("ZTNID : ", 0) == 0) out.push_back(t.substr(8));
        return out;
    }

private:
    std::filesystem::path path_, dir_;
    std::string old_; /* ZTNID_DRIVE_C before, empty when unset */
    mutable std::error_code ignored_;
};

} // namespace testlog

#endif
