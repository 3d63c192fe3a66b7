/*
** csv.cpp - CSV sources and sinks.
**
** The source reads the file in large blocks and parses one record at a time in place;
** fields point into the block, and only quoted fields with doubled quotes are copied.
** A record cut by the end of a block is parsed again once more bytes are in.
*/
#include "host/ztnid/csv.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "host/ztnid/text.h"

namespace ztnid {

enum { BLOCK_BYTES = 1 << 20, FLUSH_BYTES = 1 << 16, NUL_PROBE_BYTES = 4096 };

/* ------------------------------------------------------------------ source */

CsvSource::CsvSource(const std::string& path, char delimiter, bool emptyIsBlank, size_t maxRecordBytes)
    : path_(path), delim_(delimiter), emptyIsBlank_(emptyIsBlank), maxRecord_(maxRecordBytes) {
    if (path == "-") {
        file_ = stdin;
        path_ = "standard input";
    } else {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) throw RunError("cannot open " + path + ": " + std::strerror(errno));
        ownsFile_ = true;
        struct stat st;
        if (fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode)) fileBytes_ = double(st.st_size);
    }
    readHeader();
}

CsvSource::CsvSource(FILE* stream, std::string name, char delimiter, bool emptyIsBlank, size_t maxRecordBytes)
    : file_(stream), path_(std::move(name)), delim_(delimiter), emptyIsBlank_(emptyIsBlank),
      maxRecord_(maxRecordBytes) {
    readHeader();
}

/* Reads the header row: the column names, each once (compared ignoring case). */
void CsvSource::readHeader() {
    buf_.resize(maxRecord_ < size_t(BLOCK_BYTES) ? maxRecord_ + 1 : size_t(BLOCK_BYTES));
    readMore();
    refuseTextNotUtf8();
    if (end_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) begin_ = 3; /* byte order mark */
    if (!next()) throw RunError(path_ + ": empty file (a header row is expected)");
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < fields_.size(); ++i) {
        SourceColumn c;
        c.name = std::string(text(i));
        c.nullable = !emptyIsBlank_;
        if (c.name.empty()) throw RunError(path_ + ": column " + std::to_string(i + 1) + " of the header has no name");
        std::string key = c.name;
        for (char& ch : key) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        if (!seen.insert(key).second) throw RunError(path_ + ": column " + c.name + " appears twice in the header");
        columns_.push_back(c);
    }
}

/* UTF-16 (or other binary) data read as UTF-8 would give one column with an odd name:
** a UTF-16 byte order mark, or NUL bytes in more than one byte in eight of the first
** block, are refused at once. */
void CsvSource::refuseTextNotUtf8() const {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(buf_.data());
    if (end_ >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        throw RunError(path_ + ": the file is not UTF-8: it starts with a UTF-16 byte order mark (convert it, "
                               "e.g. iconv -f UTF-16 -t UTF-8)");
    size_t n = end_ < size_t(NUL_PROBE_BYTES) ? end_ : size_t(NUL_PROBE_BYTES), nuls = 0;
    for (size_t i = 0; i < n; ++i) nuls += b[i] == 0;
    if (nuls > 0 && nuls * 8 >= n)
        throw RunError(path_ + ": the file is not UTF-8 text: " + std::to_string(nuls) + " of its first " +
                       std::to_string(n) + " bytes are NUL (UTF-16 or binary data?)");
}

void CsvSource::refuseLongRecord() const {
    throw RunError(path_ + ": line " + std::to_string(line_) + ": a record longer than " + std::to_string(maxRecord_) +
                   " bytes, the limit (--max-record-bytes raises it)");
}

CsvSource::~CsvSource() {
    if (ownsFile_) std::fclose(file_);
}

/* Reads more bytes after the unparsed ones, moving them to the front first. */
bool CsvSource::readMore() {
    if (eof_) return false;
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        dropped_ += double(begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buf_.size()) {
        if (end_ > maxRecord_) refuseLongRecord();
        size_t grown = buf_.size() * 2 < maxRecord_ + 1 ? buf_.size() * 2 : maxRecord_ + 1;
        buf_.resize(grown > buf_.size() ? grown : buf_.size() + 1);
    }
    size_t n = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
    end_ += n;
    if (n == 0) {
        if (std::ferror(file_)) throw RunError("cannot read " + path_ + ": " + std::strerror(errno));
        eof_ = true;
    }
    return true;
}

/* Line breaks in [p, end): LF, CR LF and a CR alone each count one. */
static long LineBreaks(const char* p, const char* end) {
    long n = 0;
    for (; p < end; ++p) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)));
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t((cr ? cr : end) - p)));
        if (lf) {
            p = lf;
        } else if (cr) {
            p = cr + 1 < end && cr[1] == '\n' ? cr + 1 : cr;
        } else {
            break;
        }
        ++n;
    }
    return n;
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
        pendingLines_ += LineBreaks(buf + start, buf + k);
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

/* Parses the record at begin_.  Empty lines are skipped, except in a file of one column,
** where an empty line is a record whose field is empty (NULL, unless empty fields are
** blank): that is how a NULL of such a file is written. */
CsvSource::Parse CsvSource::parseRecord() {
    const char* buf = buf_.data();
    for (;;) {
        if (begin_ == end_) return eof_ ? Parse::End : Parse::More;
        if (columns_.size() == 1) break;
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
    if (i - begin_ > maxRecord_) refuseLongRecord();
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

void CsvSource::copyRow(std::string& bytes, RowCell* cells) {
    for (size_t c = 0; c < fields_.size(); ++c) {
        const Field& f = fields_[c];
        std::string_view t = f.escaped >= 0 ? std::string_view(unescaped_[size_t(f.escaped)])
                                            : std::string_view(buf_.data() + f.offset, f.length);
        cells[c] = RowCell{bytes.size(), f.isNull ? 0 : t.size(), f.isNull};
        if (!f.isNull) bytes.append(t.data(), t.size());
    }
}

double CsvSource::fractionRead() { return fileBytes_ > 0 ? (dropped_ + double(begin_)) / fileBytes_ : -1; }

/* ------------------------------------------------------------------ sink */

/* True when text at the start of a file would be read as a byte order mark (UTF-8, or
** the UTF-16 one that is refused): the first name of a header is then quoted. */
static bool LooksLikeAMark(std::string_view v) {
    return v.substr(0, 3) == "\xEF\xBB\xBF" || v.substr(0, 2) == "\xFF\xFE" || v.substr(0, 2) == "\xFE\xFF";
}

CsvSink::CsvSink(std::string path, char delimiter, bool crlf)
    : path_(std::move(path)), delim_(delimiter), eol_(crlf ? "\r\n" : "\n") {
    for (unsigned char c : {static_cast<unsigned char>(delimiter), static_cast<unsigned char>('"'),
                            static_cast<unsigned char>('\n'), static_cast<unsigned char>('\r')})
        special_[c] = true;
    if (path_ == "-") file_ = stdout;
}

CsvSink::CsvSink(FILE* stream, char delimiter, bool crlf) : CsvSink("-", delimiter, crlf) { file_ = stream; }

CsvSink::~CsvSink() { abort(); }

void CsvSink::begin(const std::vector<DestColumn>& cols) {
    cols_ = cols;
    if (!file_) {
        output_ = std::make_unique<OutputFile>(path_);
        file_ = output_->open();
    }
    for (size_t i = 0; i < cols_.size(); ++i)
        field(out_, cols_[i].name, false, i == 0, i == 0 && LooksLikeAMark(cols_[i].name));
    out_ += eol_;
}

/* Appends one field, quoted when it holds a delimiter, a quote or a line break (or
** when asked); an empty string is written "" and NULL as nothing. */
void CsvSink::field(std::string& out, std::string_view v, bool isNull, bool first, bool quoted) const {
    if (!first) out += delim_;
    if (isNull) return;
    bool quote = quoted || v.empty();
    for (size_t i = 0; i < v.size() && !quote; ++i) quote = special_[static_cast<unsigned char>(v[i])];
    if (!quote) {
        out.append(v);
        return;
    }
    out += '"';
    for (size_t i = 0; i < v.size();) {
        size_t q = v.find('"', i);
        if (q == std::string_view::npos) q = v.size();
        out.append(v.substr(i, q - i));
        if (q < v.size()) out += "\"\"";
        i = q + 1;
    }
    out += '"';
}

void CsvSink::encode(Source& src, const std::vector<OutCell>& mapped, std::string& out) const {
    thread_local std::string scratch;
    for (size_t i = 0; i < cols_.size(); ++i) {
        int s = cols_[i].source;
        if (s >= 0) {
            bool isNull = src.isNull(size_t(s));
            field(out, isNull ? std::string_view() : src.text(size_t(s)), isNull, i == 0);
        } else if (mapped[i].isNull) {
            field(out, std::string_view(), true, i == 0);
        } else {
            scratch.clear();
            AppendUtf8(scratch, mapped[i].value.data(), mapped[i].value.size());
            field(out, scratch, false, i == 0);
        }
    }
    out += eol_;
}

void CsvSink::write(Source& src, const std::vector<OutCell>& mapped) {
    encode(src, mapped, out_);
    ++rowsBuffered_;
    if (out_.size() >= FLUSH_BYTES) flush();
}

void CsvSink::writeEncoded(std::string_view bytes, long rows) {
    flush();
    put(bytes);
    rowsFlushed_ += rows;
}

void CsvSink::put(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw RunError("cannot write " + (output_ ? path_ : std::string("standard output")) + ": " +
                       std::strerror(errno));
}

void CsvSink::flush() {
    put(out_);
    out_.clear();
    rowsFlushed_ += rowsBuffered_;
    rowsBuffered_ = 0;
}

void CsvSink::commit() {
    flush();
    if (output_) {
        file_ = nullptr;
        output_->commit();
        committed_ = true;
        return;
    }
    if (std::fflush(file_) != 0) throw RunError(std::string("cannot write standard output: ") + std::strerror(errno));
    file_ = nullptr;
}

void CsvSink::abort() noexcept {
    out_.clear();
    if (output_) {
        output_->discard();
    } else if (file_) {
        std::fflush(file_);
    }
    file_ = nullptr;
}

} // namespace ztnid
