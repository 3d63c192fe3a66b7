/*
** csv.cpp - CSV sources and sinks.
**
** The source reads the file in large blocks and parses one record at a time in place;
** fields point into the block, and only quoted fields with doubled quotes are copied.
** A record cut by the end of a block is parsed again once more bytes are in.
*/
#include "host/ztnid/csv.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/emul/utf.h"

namespace ztnid {

enum { BLOCK_BYTES = 1 << 20, FLUSH_BYTES = 1 << 16 };

/* ------------------------------------------------------------------ source */

CsvSource::CsvSource(const std::string& path, char delimiter, bool emptyIsBlank)
    : path_(path), delim_(delimiter), emptyIsBlank_(emptyIsBlank) {
    if (path == "-") {
        file_ = stdin;
        path_ = "standard input";
    } else {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) throw RunError("cannot open " + path + ": " + std::strerror(errno));
        ownsFile_ = true;
    }
    buf_.resize(BLOCK_BYTES);
    readMore();
    if (end_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) begin_ = 3; /* byte order mark */
    if (!next()) throw RunError(path_ + ": empty file (a header row is expected)");
    for (size_t i = 0; i < fields_.size(); ++i) {
        SourceColumn c;
        c.name = std::string(text(i));
        c.nullable = !emptyIsBlank;
        if (c.name.empty()) throw RunError(path_ + ": column " + std::to_string(i + 1) + " of the header has no name");
        for (const SourceColumn& o : columns_)
            if (NamesEqual(o.name, c.name)) throw RunError(path_ + ": column " + c.name + " appears twice in the header");
        columns_.push_back(c);
    }
}

CsvSource::~CsvSource() {
    if (ownsFile_) std::fclose(file_);
}

/* Reads more bytes after the unparsed ones, moving them to the front first. */
bool CsvSource::readMore() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buf_.size()) buf_.resize(buf_.size() * 2);
    size_t n = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
    end_ += n;
    if (n == 0) {
        if (std::ferror(file_)) throw RunError("cannot read " + path_ + ": " + std::strerror(errno));
        eof_ = true;
    }
    return true;
}

/* A quoted field starting at *i; on success *i is just after the closing quote. */
CsvSource::Parse CsvSource::parseQuoted(size_t* i, Field* f) {
    const char* buf = buf_.data();
    size_t j = *i + 1;
    bool doubled = false;
    for (;;) {
        const void* q = j < end_ ? std::memchr(buf + j, '"', end_ - j) : nullptr;
        if (!q) {
            if (!eof_) return Parse::More;
            throw RunError(path_ + ": line " + std::to_string(line_) + ": a quoted field is not closed");
        }
        size_t k = size_t(static_cast<const char*>(q) - buf);
        if (k + 1 == end_ && !eof_) return Parse::More;
        if (k + 1 < end_ && buf[k + 1] == '"') {
            doubled = true;
            j = k + 2;
            continue;
        }
        size_t start = *i + 1;
        for (const char* p = buf + start; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(buf + k - p))));
             ++p)
            ++pendingLines_;
        size_t after = k + 1;
        if (after < end_ && buf[after] != delim_ && buf[after] != '\n' && buf[after] != '\r')
            throw RunError(path_ + ": line " + std::to_string(line_ + pendingLines_) +
                           ": unexpected character after a closing quote");
        f->isNull = false;
        f->escaped = -1;
        f->offset = start;
        f->length = k - start;
        if (doubled) {
            if (escapedUsed_ == unescaped_.size()) unescaped_.emplace_back();
            std::string& s = unescaped_[escapedUsed_];
            s.clear();
            for (size_t p = start; p < k; ++p) {
                s += buf[p];
                if (buf[p] == '"') ++p; /* the second quote of a pair */
            }
            f->escaped = int(escapedUsed_++);
        }
        *i = after;
        return Parse::Record;
    }
}

/* Parses the record at begin_, skipping empty lines before it. */
CsvSource::Parse CsvSource::parseRecord() {
    const char* buf = buf_.data();
    for (;;) {
        if (begin_ == end_) return eof_ ? Parse::End : Parse::More;
        char c = buf[begin_];
        if (c == '\n') {
            ++begin_;
        } else if (c == '\r') {
            if (begin_ + 1 == end_ && !eof_) return Parse::More;
            begin_ += (begin_ + 1 < end_ && buf[begin_ + 1] == '\n') ? 2 : 1;
        } else {
            break;
        }
        ++line_;
    }
    fields_.clear();
    escapedUsed_ = 0;
    pendingLines_ = 0;
    size_t i = begin_;
    for (;;) {
        Field f{i, 0, -1, false};
        if (i < end_ && buf[i] == '"') {
            Parse p = parseQuoted(&i, &f);
            if (p != Parse::Record) return p;
        } else {
            size_t j = i;
            while (j < end_ && buf[j] != delim_ && buf[j] != '\n' && buf[j] != '\r') ++j;
            if (j == end_ && !eof_) return Parse::More;
            f.length = j - i;
            f.isNull = j == i && !emptyIsBlank_;
            i = j;
        }
        fields_.push_back(f);
        if (i == end_) break;
        char c = buf[i];
        if (c == delim_) {
            ++i;
            continue;
        }
        if (c == '\r') {
            if (i + 1 == end_ && !eof_) return Parse::More;
            i += (i + 1 < end_ && buf[i + 1] == '\n') ? 2 : 1;
        } else {
            ++i;
        }
        break;
    }
    begin_ = i;
    recordLine_ = line_;
    line_ += 1 + pendingLines_;
    return Parse::Record;
}

bool CsvSource::next() {
    for (;;) {
        Parse p = parseRecord();
        if (p == Parse::Record) break;
        if (p == Parse::End) return false;
        readMore();
    }
    if (!columns_.empty() && fields_.size() != columns_.size())
        throw RunError(path_ + ": line " + std::to_string(recordLine_) + ": " + std::to_string(fields_.size()) +
                       " fields, the header has " + std::to_string(columns_.size()));
    return true;
}

std::string_view CsvSource::text(size_t col) {
    const Field& f = fields_[col];
    if (f.escaped >= 0) return unescaped_[size_t(f.escaped)];
    return std::string_view(buf_.data() + f.offset, f.length);
}

size_t CsvSource::text16(size_t col, char16_t* out, size_t cap) { return Utf8IntoUtf16(text(col), out, cap); }

/* ------------------------------------------------------------------ sink */

CsvSink::CsvSink(std::string path, char delimiter, bool crlf)
    : path_(std::move(path)), delim_(delimiter), eol_(crlf ? "\r\n" : "\n") {
    for (unsigned char c : {static_cast<unsigned char>(delimiter), static_cast<unsigned char>('"'),
                            static_cast<unsigned char>('\n'), static_cast<unsigned char>('\r')})
        special_[c] = true;
}

CsvSink::~CsvSink() { abort(); }

void CsvSink::begin(const std::vector<DestColumn>& cols) {
    cols_ = cols;
    if (path_ == "-") {
        file_ = stdout;
    } else {
        tempPath_ = path_ + ".ztnid-" + std::to_string(getpid());
        file_ = std::fopen(tempPath_.c_str(), "wb");
        if (!file_) throw RunError("cannot create " + tempPath_ + ": " + std::strerror(errno));
    }
    for (size_t i = 0; i < cols_.size(); ++i) field(cols_[i].name, false, i == 0);
    out_ += eol_;
}

/* Appends one field, quoted when it holds a delimiter, a quote or a line break; an
** empty string is written "" and NULL as nothing. */
void CsvSink::field(std::string_view v, bool isNull, bool first) {
    if (!first) out_ += delim_;
    if (isNull) return;
    bool quote = v.empty();
    for (size_t i = 0; i < v.size() && !quote; ++i) quote = special_[static_cast<unsigned char>(v[i])];
    if (!quote) {
        out_.append(v);
        return;
    }
    out_ += '"';
    for (size_t i = 0; i < v.size();) {
        size_t q = v.find('"', i);
        if (q == std::string_view::npos) q = v.size();
        out_.append(v.substr(i, q - i));
        if (q < v.size()) out_ += "\"\"";
        i = q + 1;
    }
    out_ += '"';
}

void CsvSink::write(Source& src, const std::vector<OutCell>& mapped) {
    for (size_t i = 0; i < cols_.size(); ++i) {
        int s = cols_[i].source;
        if (s >= 0) {
            bool isNull = src.isNull(size_t(s));
            field(isNull ? std::string_view() : src.text(size_t(s)), isNull, i == 0);
        } else if (mapped[i].isNull) {
            field(std::string_view(), true, i == 0);
        } else {
            scratch_.clear();
            AppendUtf8(scratch_, mapped[i].value.data(), mapped[i].value.size());
            field(scratch_, false, i == 0);
        }
    }
    out_ += eol_;
    if (out_.size() >= FLUSH_BYTES) flush();
}

void CsvSink::flush() {
    if (!out_.empty() && std::fwrite(out_.data(), 1, out_.size(), file_) != out_.size())
        throw RunError("cannot write " + (tempPath_.empty() ? std::string("standard output") : path_) + ": " +
                       std::strerror(errno));
    out_.clear();
}

void CsvSink::commit() {
    flush();
    if (file_ == stdout) {
        if (std::fflush(stdout) != 0) throw RunError(std::string("cannot write standard output: ") + std::strerror(errno));
        file_ = nullptr;
        return;
    }
    FILE* f = file_;
    file_ = nullptr;
    if (std::fclose(f) != 0 || std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        std::string why = std::strerror(errno);
        std::remove(tempPath_.c_str());
        tempPath_.clear();
        throw RunError("cannot write " + path_ + ": " + why);
    }
    tempPath_.clear();
}

void CsvSink::abort() noexcept {
    if (file_ == stdout) {
        out_.clear();
        std::fflush(stdout);
    } else if (file_) {
        std::fclose(file_);
    }
    file_ = nullptr;
    if (!tempPath_.empty()) std::remove(tempPath_.c_str());
    tempPath_.clear();
}

} // namespace ztnid
