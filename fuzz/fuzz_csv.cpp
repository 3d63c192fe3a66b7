/*
** fuzz_csv.cpp - ztnid's CSV reader and writer on fuzzer-chosen text.
**
** The first byte chooses the delimiter (, ; tab |), whether empty fields are blank and
** whether lines end with CR LF; the rest is the file.  A file the reader refuses (with
** its RunError) is fine.  A file it reads is written back by the writer, every column
** copied, and the written text must read back to the very same header and rows: NULL
** and empty strings, quotes, delimiters and line breaks in fields, one-column files.
** The written text may only be refused as not UTF-8 (NUL bytes the input had diluted).
*/
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "host/ztnid/csv.h"

namespace {

using Table = std::vector<std::vector<std::optional<std::string>>>;

enum { MAX_RECORD = 1 << 16 };

/* Reads a stream through CsvSource; every row goes to sink when one is given. */
Table ReadAll(ztnid::CsvSource& src, ztnid::CsvSink* sink) {
    Table t;
    std::vector<std::optional<std::string>> header;
    std::vector<ztnid::DestColumn> cols;
    for (size_t i = 0; i < src.columns().size(); ++i) {
        header.emplace_back(src.columns()[i].name);
        ztnid::DestColumn d;
        d.name = src.columns()[i].name;
        d.source = int(i);
        cols.push_back(d);
    }
    t.push_back(header);
    std::vector<ztnid::OutCell> none(cols.size());
    if (sink) sink->begin(cols);
    while (src.next()) {
        std::vector<std::optional<std::string>> row;
        for (size_t i = 0; i < src.columns().size(); ++i)
            row.push_back(src.isNull(i) ? std::nullopt : std::optional<std::string>(std::string(src.text(i))));
        t.push_back(row);
        if (sink) sink->write(src, none);
    }
    if (sink) sink->commit();
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const char kDelims[] = {',', ';', '\t', '|'};
    char delim = kDelims[data[0] & 3];
    bool emptyIsBlank = data[0] & 4, crlf = data[0] & 8;

    FILE* in = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
    char* text = nullptr;
    size_t textSize = 0;
    FILE* out = open_memstream(&text, &textSize);
    Table first;
    bool read = false;
    try {
        ztnid::CsvSource src(in, "input", delim, emptyIsBlank, MAX_RECORD);
        ztnid::CsvSink sink(out, delim, crlf);
        first = ReadAll(src, &sink);
        read = true;
    } catch (const ztnid::RunError&) {
    }
    std::fclose(in);
    std::fclose(out);
    if (read) {
        FILE* back = fmemopen(text, textSize, "rb");
        try {
            ztnid::CsvSource src(back, "written", delim, emptyIsBlank, 4 * MAX_RECORD); /* quotes doubled */
            if (ReadAll(src, nullptr) != first) std::abort();
        } catch (const ztnid::RunError& e) {
            if (std::string(e.what()).find("is not UTF-8") == std::string::npos) std::abort();
        }
        std::fclose(back);
    }
    std::free(text);
    return 0;
}
