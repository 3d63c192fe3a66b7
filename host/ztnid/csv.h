/*
** csv.h - CSV files (RFC 4180, UTF-8, header row) as sources and sinks.
**
** Fields may be quoted, with embedded delimiters, doubled quotes and line breaks.  An
** empty unquoted field is NULL and a quoted empty field ("") is an empty string, unless
** the source treats empty fields as blank (then nothing is NULL); the sink writes them
** back the same way, so NULL and empty strings survive a round trip.  A file sink
** writes to a temporary file beside the target and renames it on commit.
*/
#ifndef ZTNID_CSV_H
#define ZTNID_CSV_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/ztnid/output_file.h"
#include "host/ztnid/table.h"

namespace ztnid {

/* Longest record read by default, in bytes; a longer one stops the run. */
enum : size_t { DEFAULT_MAX_RECORD_BYTES = size_t(64) << 20 };

class CsvSource : public Source {
public:
    /* path "-" reads standard input.  Throws RunError: also for text that is not UTF-8
    ** (a UTF-16 byte order mark, NUL bytes) and a record longer than maxRecordBytes. */
    CsvSource(const std::string& path, char delimiter, bool emptyIsBlank,
              size_t maxRecordBytes = DEFAULT_MAX_RECORD_BYTES);
    /* Reads an open stream, not owned; name is used in messages. */
    CsvSource(FILE* stream, std::string name, char delimiter, bool emptyIsBlank,
              size_t maxRecordBytes = DEFAULT_MAX_RECORD_BYTES);
    ~CsvSource() override;

    const std::vector<SourceColumn>& columns() const override { return columns_; }
    bool next() override;
    bool isNull(size_t col) override { return fields_[col].isNull; }
    void copyRow(std::string& bytes, RowCell* cells) override;
    std::string_view text(size_t col) override;
    const char* positionWord() const override { return "line"; }
    long position() const override { return recordLine_; }
    double fractionRead() override;

    /* Declares the type of a column (the default is VARCHAR(255)). */
    void setType(size_t col, ColumnType t) { columns_[col].type = t; }

private:
    struct Field {
        size_t offset, length;    /* in buf_, or in unescaped_[escaped] when escaped >= 0 */
        int escaped;
        bool isNull;
    };
    enum class Parse { Record, More, End };

    void readHeader();
    void refuseTextNotUtf8() const;
    [[noreturn]] void refuseLongRecord() const;
    Parse parseRecord();
    Parse parseQuoted(size_t* i, Field* f);
    bool readMore();

    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string path_;
    char delim_;
    bool emptyIsBlank_;
    size_t maxRecord_;
    std::vector<char> buf_;
    size_t begin_ = 0, end_ = 0;  /* unparsed bytes */
    double fileBytes_ = 0, dropped_ = 0; /* size of a regular file; bytes moved out of buf_ */
    bool eof_ = false;
    long line_ = 1, recordLine_ = 0, pendingLines_ = 0;
    std::vector<Field> fields_;
    std::vector<std::string> unescaped_;
    size_t escapedUsed_ = 0;
    std::vector<SourceColumn> columns_;
};

class CsvSink : public Sink {
public:
    /* path "-" writes standard output; a file is replaced as output_file.h says. */
    CsvSink(std::string path, char delimiter, bool crlf);
    /* Writes to an open stream, not owned. */
    CsvSink(FILE* stream, char delimiter, bool crlf);
    ~CsvSink() override;

    void begin(const std::vector<DestColumn>& cols) override;
    void write(Source& src, const std::vector<OutCell>& mapped) override;
    bool encodes() const override { return true; }
    void encode(Source& src, const std::vector<OutCell>& mapped, std::string& out) const override;
    void writeEncoded(std::string_view bytes, long rows) override;
    void commit() override;
    void abort() noexcept override;
    long rowsKept() const override { return !output_ || committed_ ? rowsFlushed_ : 0; }

private:
    void field(std::string& out, std::string_view v, bool isNull, bool first, bool quoted = false) const;
    void flush();
    void put(std::string_view bytes);

    std::string path_;
    std::unique_ptr<OutputFile> output_;
    char delim_;
    const char* eol_;
    FILE* file_ = nullptr;
    long rowsBuffered_ = 0, rowsFlushed_ = 0;
    bool committed_ = false;
    std::string out_;
    std::vector<DestColumn> cols_;
    bool special_[256] = {};      /* characters that make a field quoted */
};

} // namespace ztnid

#endif
