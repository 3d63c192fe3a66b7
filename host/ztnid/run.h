/*
** run.h - one masking run: rows from a source, through the exit, to a sink.
**
** Every mapped destination column gets its own column map, as a host builds it: its
** own work area, zero-filled before the first call and kept between calls, the packed
** records and callbacks, one call per row and the end call.  The exit is the shared
** library loaded from a path, called through its export only.
**
** With several threads the run works as a host running one session per thread: each
** thread has its own work area for every mapped column.  The source is read on one
** thread in batches of rows, dealt to the threads in turn, and the batches are written
** in the order they were read, so the output is the same whatever the number of
** threads.  The counters of the summary add up every work area's; every work area gets
** its end call, and with status or debug each writes its own end report to the log.
*/
#ifndef ZTNID_RUN_H
#define ZTNID_RUN_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/emul/host_emul.h"
#include "host/ztnid/columns.h"
#include "host/ztnid/table.h"

namespace ztnid {

/* What a row skipped by the exit (result 1) becomes. */
enum class SkipPolicy {
    Auto,                         /* NULL when the destination column is nullable, else drop the row */
    Drop,                         /* drop the row */
    Fail                          /* stop the run with an error */
};

/* Called for every column map with the column lists the exit will see, before any row
** and before the output is opened; throws RunError to stop the run. */
using MapChecker = std::function<void(const MapSpec& map, const std::vector<hostemu::Column>& sources,
                                      const std::vector<hostemu::Column>& dests, int destIndex)>;

struct RunOptions {
    std::vector<MapSpec> maps;
    std::string exitPath;
    SkipPolicy onSkip = SkipPolicy::Auto;
    bool progress = false;        /* a progress line on stderr for long runs */
    MapChecker checkMap;          /* may be empty */
    int threads = 1;              /* worker threads, each with its own work areas */
    bool strict = false;          /* a switch value longer than a country code stops the run */
};

/* The six counters of a column's work area, in the order of the exit's end report. */
enum { COUNTER_COUNT = 6 };
extern const char* const kCounterNames[COUNTER_COUNT];

struct ColumnStats {
    std::string name;
    std::string type;             /* "VARCHAR(20)" */
    std::string operands;
    long read = 0;                /* rows offered to the exit */
    long written = 0;             /* result 0 */
    long nulls = 0;               /* of which NULL */
    long skipped = 0;             /* result 1 */
    long counters[COUNTER_COUNT] = {};
    uint16_t countriesInit = 0;   /* of the first work area */
    int workAreas = 0;            /* one per thread that masked rows */
    std::string endReport;        /* lines the end calls appended to the exit's log */
    long longSwitchValues = 0;    /* switch values longer than a two-letter code */
    std::string longSwitchExample; /* the first of them in the order of the rows */
};

struct RunResult {
    int status = 0;               /* 0 all written, 1 some rows skipped, 2 error */
    long rowsRead = 0, rowsWritten = 0, rowsDropped = 0;
    std::vector<ColumnStats> columns;
    std::string error;
};

/* The destination columns: the source's, with mapped ones replaced or added.  Throws
** UsageError. */
std::vector<DestColumn> PlanColumns(const std::vector<SourceColumn>& src, const std::vector<MapSpec>& maps,
                                    std::vector<int>* mapDest);

/* Throws RunError when a column list would hold more columns than the exit's lists
** count (16 bits). */
void RefuseTooManyColumns(size_t source, size_t dest);

/* A column as the host declares it to the exit. */
hostemu::Column HostColumn(const std::string& name, ColumnType t, bool nullable);

/* The work area's first 50 characters of a failed call's message, as UTF-8. */
std::string MsgTextOf(const WORKAREA& wa);

/* The six counters of a work area, in the order of kCounterNames. */
void CountersOf(const WORKAREA& wa, long out[COUNTER_COUNT]);

/* Runs the whole copy; never throws. */
RunResult RunMask(Source& src, Sink& sink, const RunOptions& opt);

/* The exit's log file on this system. */
std::string ExitLogPath();

/* The per-column summary printed at the end of a run. */
std::string FormatSummary(const RunResult& r);

} // namespace ztnid

#endif
