/*
** batch.cpp - rows copied out of a source, for the worker threads of a run.
*/
#include "host/ztnid/batch.h"

#include <sqlite3.h>

namespace ztnid {

Batch::Batch(Source& origin) : origin_(origin), width_(origin.columns().size()), word_(origin.positionWord()) {}

Batch::~Batch() { clear(); }

void Batch::clear() {
    for (sqlite3_value* v : values_) sqlite3_value_free(v);
    values_.clear();
    bytes_.clear();
    used_ = 0;
    positions_.clear();
    row_ = 0;
}

void Batch::add() {
    if (positions_.empty()) sqlite_ = width_ > 0 && origin_.sqliteValue(0) != nullptr;
    size_t base = used_;
    used_ += width_;
    if (cells_.size() < used_) cells_.resize(used_ * 2); /* kept from batch to batch */
    origin_.copyRow(bytes_, &cells_[base]);
    /* An SQLite value is copied as stored, for a sink that keeps its type. */
    for (size_t c = 0; sqlite_ && c < width_; ++c) {
        sqlite3_value* v = sqlite3_value_dup(origin_.sqliteValue(c));
        if (!v) throw RunError("out of memory copying a row");
        values_.push_back(v);
    }
    positions_.push_back(origin_.position());
}

void Batch::seek(size_t row) { row_ = row; }

std::string_view Batch::text(size_t col) {
    const RowCell& c = cell(col);
    return std::string_view(bytes_.data() + c.offset, c.length);
}

sqlite3_value* Batch::sqliteValue(size_t col) { return sqlite_ ? values_[row_ * width_ + col] : nullptr; }

} // namespace ztnid
