/*
** batch.h - rows copied out of a source, for the worker threads of a run.
**
** A source's values stay valid only until its next row, and one thread reads it.  A
** Batch copies a run of rows (values as bytes, NULLs, where each row came from, and the
** SQLite values of an SQLite source) so that another thread can mask and encode them
** while the source reads on.  A Batch is itself a Source over its rows: seek(i) makes
** row i the current one, and every value reads as it read from the original source.
*/
#ifndef ZTNID_BATCH_H
#define ZTNID_BATCH_H

#include <string>
#include <vector>

#include "host/ztnid/table.h"

namespace ztnid {

class Batch : public Source {
public:
    explicit Batch(Source& origin);
    ~Batch() override;
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    /* Forgets every row. */
    void clear();
    /* Copies the current row of the origin. */
    void add();
    size_t rows() const { return positions_.size(); }
    size_t bytes() const { return bytes_.size(); }
    void seek(size_t row);

    const std::vector<SourceColumn>& columns() const override { return origin_.columns(); }
    bool next() override { return false; }
    bool isNull(size_t col) override { return cell(col).isNull; }
    std::string_view text(size_t col) override;
    sqlite3_value* sqliteValue(size_t col) override;
    const char* positionWord() const override { return word_; }
    long position() const override { return positions_[row_]; }

private:
    const RowCell& cell(size_t col) const { return cells_[row_ * width_ + col]; }

    Source& origin_;
    size_t width_;
    const char* word_;
    bool sqlite_ = false;         /* the origin hands out SQLite values */
    std::string bytes_;
    std::vector<RowCell> cells_;
    size_t used_ = 0;             /* cells of the rows held */
    std::vector<sqlite3_value*> values_;
    std::vector<long> positions_;
    size_t row_ = 0;
};

} // namespace ztnid

#endif
