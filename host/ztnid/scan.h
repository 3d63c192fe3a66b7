/*
** scan.h - finds the columns of a table that hold national identification numbers.
**
** Every non-empty value whose shape leaves a country possible (length, first and last
** character) is handed to the exit itself, through the same host records and callbacks
** as a masking run, with the operands switch="XX,validate=y: a value is a number of
** that country when the exit masks it, and the work area's counters say why it refused
** the others.  Columns whose values are mostly country codes are found too, and for a
** column holding numbers of several countries the one that names their countries best
** becomes the switch of the suggested column map.
*/
#ifndef ZTNID_SCAN_H
#define ZTNID_SCAN_H

#include <string>
#include <vector>

#include "host/ztnid/run.h"
#include "host/ztnid/table.h"

namespace ztnid {

enum { SCAN_COUNTRIES = 4 };
/* The countries in the order of the reports: "FR", "IT", "ES", "UK". */
extern const char* const kScanCountries[SCAN_COUNTRIES];

/* Why a value was not masked: the six counters of the work area, then three reasons
** of the scan's own. */
enum {
    REASON_NO_COUNTER = COUNTER_COUNT, /* skipped without a counter (country not initialised...) */
    REASON_SHAPE,                      /* not tried: no number of the country has its shape */
    REASON_NO_COUNTRY,                 /* the switch column names no country the exit masks */
    REASON_COUNT
};
extern const char* const kReasonNames[REASON_COUNT];

/* A share of a column's values is taken as meaningful from here on. */
constexpr double kDetectShare = 0.5;      /* valid numbers among the non-empty values */
constexpr double kCodeShare = 0.5;        /* country codes the exit masks, for a country column */
constexpr double kCodeShapeShare = 0.8;   /* values of two or three letters, for a country column */

struct LayoutCount {
    std::string layout;           /* "compact", or the group lengths and separators: "13-2" */
    long count = 0;
};

/* What the exit said about the values of one column for one country. */
struct CountryScan {
    long valid = 0;               /* masked with validate=y */
    long tried = 0;               /* handed to the exit */
    long refused[REASON_COUNT] = {};
    std::vector<LayoutCount> layouts; /* of the valid values, most frequent first */
    std::string example;          /* a valid value, redacted */
};

/* The column map that masks a column, and how many of its values are valid for it. */
struct MapSuggestion {
    std::string switchColumn;     /* the country column, or "" for one country */
    int country = -1;             /* the one country (index in kScanCountries), or -1 */
    std::string operands;
    std::string line;             /* --map '...' ready for a shell */
    long valid = 0;               /* non-empty values valid for the country it gives them */
    long invalid[REASON_COUNT] = {}; /* the others, by reason */
    double share = 0;             /* valid / non-empty values */
    double confidence = 0;        /* lower bound of the share (Wilson, 95 %) */
};

struct ColumnScan {
    std::string name, type;
    long nulls = 0, blanks = 0, nonEmpty = 0;
    long countryCodes = 0;        /* values naming a country the exit masks */
    long codeShaped = 0;          /* values of two or three ASCII letters */
    bool countryColumn = false;
    CountryScan countries[SCAN_COUNTRIES];
    bool detected = false;
    MapSuggestion map;
};

struct ScanReport {
    std::string source;
    long rows = 0;
    long rowLimit = -1;           /* -1: every row */
    bool complete = false;        /* the whole table was read */
    std::vector<ColumnScan> columns;
    /* 0 national numbers found, 1 none. */
    int status() const;
};

struct ScanOptions {
    long rowLimit = 100000;       /* -1: every row */
    std::string exitPath;
    std::string sourceName;       /* for the report */
};

/* Reads up to opt.rowLimit rows of src through the exit.  Throws RunError. */
ScanReport ScanTable(Source& src, const ScanOptions& opt);

/* The report as a table for people, and as JSON (schema: host/ztnid/scan.schema.json). */
std::string FormatScanText(const ScanReport& r);
std::string FormatScanJson(const ScanReport& r);

} // namespace ztnid

#endif
