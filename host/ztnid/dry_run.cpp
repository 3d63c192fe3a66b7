/*
** dry_run.cpp - a sink that writes nothing and keeps a preview.
*/
#include "host/ztnid/dry_run.h"

#include <algorithm>
#include <sstream>

#include "host/emul/utf.h"
#include "host/ztnid/text.h"

namespace ztnid {

namespace {

const char* const kNullText = "NULL";

std::string Cell(bool isNull, std::string text) { return isNull ? kNullText : "\"" + text + "\""; }

std::string Padded(const std::string& s, size_t width) {
    size_t n = Utf16Length(s);
    return n >= width ? s : s + std::string(width - n, ' ');
}

} // namespace

DryRunSink::DryRunSink(const std::vector<SourceColumn>& src, const std::vector<MapSpec>& maps, size_t previewRows)
    : src_(src), maps_(maps), previewRows_(previewRows) {}

/* Finds, for every mapped destination column, the source column its map reads: the
** source operand, else the column of the destination's name. */
void DryRunSink::begin(const std::vector<DestColumn>& cols) {
    for (const MapSpec& m : maps_) {
        std::string read = SourceOperand(m.operands);
        if (read.empty()) read = m.dest;
        Mapped x{0, -1, m.dest};
        for (size_t i = 0; i < cols.size(); ++i)
            if (cols[i].source < 0 && NamesEqual(cols[i].name, m.dest)) x.dest = i;
        for (size_t i = 0; i < src_.size() && x.source < 0; ++i)
            if (NamesEqual(src_[i].name, read)) x.source = int(i);
        mapped_.push_back(x);
    }
}

void DryRunSink::write(Source& src, const std::vector<OutCell>& mapped) {
    ++written_;
    if (rows_.size() >= previewRows_) return;
    std::vector<std::string> row{src.where()};
    for (const Mapped& m : mapped_) {
        bool srcNull = m.source < 0 || src.isNull(size_t(m.source));
        row.push_back(Cell(srcNull, srcNull ? "" : Redact(src.text(size_t(m.source)))));
        const OutCell& out = mapped[m.dest];
        row.push_back(Cell(out.isNull, Utf16ToUtf8(out.value)));
    }
    rows_.push_back(row);
}

std::string DryRunSink::preview() const {
    std::vector<std::string> head{"row"};
    for (const Mapped& m : mapped_) {
        head.push_back(m.name + " (read)");
        head.push_back(m.name + " (masked)");
    }
    std::vector<size_t> width(head.size(), 0);
    for (size_t i = 0; i < head.size(); ++i) width[i] = Utf16Length(head[i]);
    for (const auto& r : rows_)
        for (size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], Utf16Length(r[i]));
    std::ostringstream o;
    o << "ztnid: dry run, nothing written; the first " << rows_.size() << " rows written would be:\n";
    auto line = [&](const std::vector<std::string>& r) {
        for (size_t i = 0; i < r.size(); ++i) o << "  " << (i + 1 < r.size() ? Padded(r[i], width[i]) : r[i]);
        o << "\n";
    };
    line(head);
    for (const auto& r : rows_) line(r);
    return o.str();
}

} // namespace ztnid
