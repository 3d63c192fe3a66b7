/*
** dry_run.h - a sink that writes nothing, for `ztnid mask --dry-run`.
**
** The run goes through the exit as a real one does; the sink keeps the first rows of
** each mapped column, the value the exit read (redacted) beside the value it put, to be
** shown as a preview.  No file or table is created or changed.
*/
#ifndef ZTNID_DRY_RUN_H
#define ZTNID_DRY_RUN_H

#include <string>
#include <vector>

#include "host/ztnid/columns.h"
#include "host/ztnid/table.h"

namespace ztnid {

class DryRunSink : public Sink {
public:
    DryRunSink(const std::vector<SourceColumn>& src, const std::vector<MapSpec>& maps, size_t previewRows);

    void begin(const std::vector<DestColumn>& cols) override;
    void write(Source& src, const std::vector<OutCell>& mapped) override;
    void commit() override {}
    void abort() noexcept override {}
    /* The rows a real run would have written. */
    long rowsKept() const override { return written_; }

    /* The rows kept, as a table: where, then per mapped column original -> masked. */
    std::string preview() const;

private:
    struct Mapped {
        size_t dest;              /* index among the destination columns */
        int source;               /* the source column the exit reads, or -1 */
        std::string name;
    };

    std::vector<SourceColumn> src_;
    std::vector<MapSpec> maps_;
    size_t previewRows_;
    long written_ = 0;
    std::vector<Mapped> mapped_;
    std::vector<std::vector<std::string>> rows_; /* where, then original and masked per column */
};

} // namespace ztnid

#endif
