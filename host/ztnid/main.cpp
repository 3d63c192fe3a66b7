/*
** main.cpp - the ztnid command line.
**
**   ztnid mask [options] [INPUT.csv]     copy a table, masking mapped columns
**   ztnid unmask [options] [INPUT.csv]   copy a table, reversing keyed columns with the key
**   ztnid scan [options] [INPUT.csv]     find the columns that hold national numbers
**   ztnid explain [options] 'OPERANDS'   show what the exit makes of an operand string
**
** Exit status: 0 every row written (scan: numbers found), 1 some rows skipped by the
** exit (scan: none found), 2 error.
*/
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/emul/utf.h"
#include "host/ztnid/csv.h"
#include "host/ztnid/dry_run.h"
#include "host/ztnid/exit_lib.h"
#include "host/ztnid/explain.h"
#include "host/ztnid/keyed_column.h"
#include "host/ztnid/output_file.h"
#include "host/ztnid/pg_table.h"
#include "host/ztnid/run.h"
#include "host/ztnid/scan.h"
#include "host/ztnid/sqlite_table.h"

using namespace ztnid;

namespace {

enum { STATUS_ERROR = 2 };

const char* kMapHelp =
    "Destination column filled by the exit: DEST[:TYPE(LENGTH)]=OPERANDS (repeatable).  DEST replaces the source "
    "column of that name or adds a column.  TYPE: CHAR, VARCHAR, NCHAR, NVARCHAR (length in characters), WCHAR, "
    "WVARCHAR (length in bytes), or a numeric host type code; default: the type of the column the exit reads";

enum { MAX_JOBS = 256 };

/* The number of processors, the default of -j. */
int DefaultJobs() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n > MAX_JOBS ? int(MAX_JOBS) : int(n);
}

/* How a CSV input is read, by mask and scan alike. */
struct CsvReadArgs {
    std::string delimiter = ",";
    std::vector<std::string> sourceTypes;
    bool emptyIsBlank = false;
    size_t maxRecordBytes = DEFAULT_MAX_RECORD_BYTES;
};

struct MaskArgs {
    std::string input, output, db, from, to, fromPg, toPg, exitPath, onSkip = "auto";
    std::vector<std::string> maps;
    CsvReadArgs csv;
    bool replace = false, append = false, crlf = false, quiet = false, strict = false;
    bool dryRun = false;
    int jobs = DefaultJobs();
    size_t preview = 5;
};

struct ScanArgs {
    std::string input, db, from, fromPg, exitPath, rows = "100000";
    CsvReadArgs csv;
    bool json = false;
    int jobs = DefaultJobs();
};

/* The options of CsvReadArgs; `command` names what a too long record stops. */
void AddCsvReadOptions(CLI::App* cmd, CsvReadArgs& c, const std::string& command) {
    cmd->add_option("--source-type", c.sourceTypes,
                    "COLUMN:TYPE(LENGTH): declares a CSV column to the exit (default VARCHAR(255))")
        ->allow_extra_args(false)
        ->type_name("COLUMN:TYPE");
    cmd->add_flag("--empty-is-blank", c.emptyIsBlank, "CSV: an empty field is an empty string, not NULL");
    cmd->add_option("--max-record-bytes", c.maxRecordBytes,
                    "CSV: the longest record read, in bytes (default 64 MiB); a longer one stops the " + command)
        ->check(CLI::Range(size_t(1), size_t(1) << 40))
        ->type_name("BYTES");
    cmd->add_option("-d,--delimiter", c.delimiter, "CSV field delimiter (default \",\")")->type_name("CHAR");
}

/* The --exit option of a command that runs the exit. */
void AddExitOption(CLI::App* cmd, std::string& exitPath) {
    cmd->add_option("--exit", exitPath,
                    "The exit library (default: $ZT0NID_LIBRARY, else libZT0NID.so beside ztnid, else the "
                    "installed libZT0NID.so.1)")
        ->type_name("FILE");
}

/* Throws UsageError for a delimiter the CSV reader cannot take. */
void CheckDelimiter(const CsvReadArgs& c) {
    if (c.delimiter.size() != 1 || c.delimiter == "\"" || c.delimiter == "\n" || c.delimiter == "\r")
        throw UsageError("--delimiter must be one character other than a quote or a line break");
}

struct ExplainArgs {
    std::string operands, src = "VARCHAR(255)", dest = "VARCHAR(255)";
};

/* Whether the input, the output is an SQLite table of --db. */
bool SqliteIn(const MaskArgs& a) { return !a.from.empty() && a.fromPg.empty(); }
bool SqliteOut(const MaskArgs& a) { return !a.to.empty() && a.toPg.empty(); }

/* Checks the combination of options; throws UsageError. */
void CheckMaskArgs(const MaskArgs& a) {
    if (a.input.empty() == a.from.empty()) throw UsageError("give either an input CSV file or --from TABLE");
    if (!a.from.empty() && a.db.empty() && a.fromPg.empty())
        throw UsageError("--from needs --db FILE or --from-pg CONNINFO");
    if (!a.to.empty() && a.db.empty() && a.toPg.empty()) throw UsageError("--to needs --db FILE or --to-pg CONNINFO");
    if (!a.fromPg.empty() && a.from.empty()) throw UsageError("--from-pg needs --from TABLE");
    if (!a.toPg.empty() && a.to.empty()) throw UsageError("--to-pg needs --to TABLE");
    if (!a.db.empty() && !SqliteIn(a) && !SqliteOut(a)) throw UsageError("--db needs --from or --to");
    if (!a.to.empty() && !a.output.empty()) throw UsageError("give either --output or --to, not both");
    if ((a.replace || a.append) && a.to.empty()) throw UsageError("--replace and --append need --to TABLE");
    if (a.replace && a.append) throw UsageError("give either --replace or --append, not both");
    if (!a.from.empty() && NamesEqual(a.from, a.to) && (SqliteIn(a) ? SqliteOut(a) : a.fromPg == a.toPg))
        throw UsageError("--from and --to name the same table");
    CheckDelimiter(a.csv);
    if (!a.from.empty() && (!a.csv.sourceTypes.empty() || a.csv.emptyIsBlank))
        throw UsageError("--source-type and --empty-is-blank apply to CSV input only (table columns keep their "
                         "declared types)");
}

/* An output that is also an input would be read while it is replaced: refused, by device
** and inode, whatever the names. */
void RefuseOutputsThatAreInputs(const MaskArgs& a) {
    std::vector<FileId> in, out;
    FileId id;
    if (!a.input.empty() && (a.input == "-" ? IdOfDescriptor(STDIN_FILENO, "standard input", &id)
                                            : IdOfPath(a.input, "the input file " + a.input, &id)))
        in.push_back(id);
    if (SqliteIn(a) && !SqliteOut(a) && IdOfPath(a.db, "the database " + a.db, &id)) in.push_back(id);
    if (!a.to.empty()) {
        if (SqliteOut(a) && IdOfPath(a.db, "the database " + a.db, &id)) out.push_back(id);
    } else if (a.output.empty() || a.output == "-") {
        if (IdOfDescriptor(STDOUT_FILENO, "standard output", &id)) out.push_back(id);
    } else if (IdOfPath(a.output, "the output " + a.output, &id)) {
        out.push_back(id);
    }
    RefuseOutputThatIsAnInput(in, out);
}

/* The exit's set-up of a column map, run before any row even when none comes: a failure
** stops the run with the whole message and each country's reason; the pairs the exit
** drops and the formats it replaces by the default are warned about (errors with
** --strict), since the exit itself says nothing of them. */
void CheckMap(const MaskArgs& a, const MapSpec& m, const std::vector<hostemu::Column>& sources,
              const std::vector<hostemu::Column>& dests, int destIndex) {
    MapCheck c = CheckColumnMap(m.operands, sources, dests, destIndex);
    std::string column = "column " + Utf16ToUtf8(dests[size_t(destIndex)].name);
    if (c.setUpFails) {
        std::string msg = column + ": the set-up of the exit fails: " + c.message;
        for (const std::string& k : c.countries) msg += "\n    " + k;
        throw RunError(msg);
    }
    if (a.strict && !c.warnings.empty()) {
        std::string msg = column + ": operands the exit would ignore (--strict):";
        for (const std::string& w : c.warnings) msg += "\n    " + w;
        throw RunError(msg);
    }
    if (!a.quiet)
        for (const std::string& w : c.warnings) std::cerr << "ztnid: warning: " << column << ": " << w << "\n";
}

/* The table rows are read from: the table `from` of db, or the CSV file `input` with
** its declared column types.  Throws RunError or UsageError. */
std::unique_ptr<Source> OpenSource(const std::string& input, const std::string& from, const std::string& fromPg,
                                   std::shared_ptr<SqliteDb> db, const CsvReadArgs& c) {
    if (!fromPg.empty()) return std::make_unique<PgSource>(fromPg, from);
    if (!from.empty()) return std::make_unique<SqliteSource>(db, from);
    auto csv = std::make_unique<CsvSource>(input, c.delimiter[0], c.emptyIsBlank, c.maxRecordBytes);
    for (const std::string& t : c.sourceTypes) {
        SourceTypeSpec s = ParseSourceTypeSpec(t);
        size_t i = 0;
        while (i < csv->columns().size() && !NamesEqual(csv->columns()[i].name, s.column)) ++i;
        if (i == csv->columns().size()) throw UsageError("--source-type: no column " + s.column + " in " + input);
        csv->setType(i, s.type);
    }
    return csv;
}

/* A dry run opens the database only when it exists (never creating it), and refuses
** what the real run would refuse about the destination table. */
std::shared_ptr<SqliteDb> OpenDryRunDb(const MaskArgs& a) {
    if (a.db.empty() || (!SqliteIn(a) && access(a.db.c_str(), F_OK) != 0)) return nullptr;
    auto db = std::make_shared<SqliteDb>(a.db, false);
    if (SqliteOut(a) && !a.replace && !a.append && db->tableExists(a.to))
        throw RunError(a.db + ": table " + a.to + " exists (use --replace or --append)");
    return db;
}

int RunMaskCommand(const MaskArgs& a, const KeyedArgs& keyed, bool unmask) {
    CheckMaskArgs(a);
    RunOptions opt;
    for (const std::string& m : a.maps) opt.maps.push_back(ParseMapSpec(m));
    struct WipeKey {
        ~WipeKey() { ForgetKey(); }
    } wipeKey; /* however the command ends */
    PrepareKeyed(keyed, unmask, opt.maps);
    opt.onSkip = a.onSkip == "drop" ? SkipPolicy::Drop : a.onSkip == "fail" ? SkipPolicy::Fail : SkipPolicy::Auto;
    opt.exitPath = ChooseExitPath(a.exitPath);
    opt.progress = !a.quiet && isatty(STDERR_FILENO);
    opt.threads = a.jobs;
    opt.strict = a.strict;
    opt.checkMap = [&a](const MapSpec& m, const std::vector<hostemu::Column>& sources,
                        const std::vector<hostemu::Column>& dests, int destIndex) {
        CheckMap(a, m, sources, dests, destIndex);
    };

    std::shared_ptr<SqliteDb> db;
    std::unique_ptr<Source> src;
    std::unique_ptr<Sink> sink;
    DryRunSink* dry = nullptr;
    try {
        if (a.dryRun) {
            db = OpenDryRunDb(a);
        } else {
            RefuseOutputsThatAreInputs(a);
            if (!a.db.empty()) db = std::make_shared<SqliteDb>(a.db, !SqliteIn(a));
        }
        TableMode mode = a.replace ? TableMode::Replace : a.append ? TableMode::Append : TableMode::Create;
        src = OpenSource(a.input, a.from, a.fromPg, db, a.csv);
        if (a.dryRun) {
            auto d = std::make_unique<DryRunSink>(src->columns(), opt.maps, a.preview);
            dry = d.get();
            sink = std::move(d);
        } else if (!a.toPg.empty()) {
            auto pg = std::make_unique<PgSink>(a.toPg, a.to, mode);
            if (auto* from = dynamic_cast<PgSource*>(src.get())) pg->refuseTable(from->identity());
            sink = std::move(pg);
        } else if (!a.to.empty()) {
            sink = std::make_unique<SqliteSink>(db, a.to, mode);
        } else {
            sink = std::make_unique<CsvSink>(a.output.empty() ? "-" : a.output, a.csv.delimiter[0], a.crlf);
        }
    } catch (const RunError& e) {
        std::cerr << "ztnid: error: " << e.what() << "\n";
        return STATUS_ERROR;
    }
    RunResult r = RunMask(*src, *sink, opt);
    if (dry && r.status != STATUS_ERROR) std::cout << dry->preview() << "\n";
    if (!a.quiet || r.status == STATUS_ERROR) (dry ? std::cout : std::cerr) << FormatSummary(r);
    return r.status;
}

int RunScanCommand(const ScanArgs& a) {
    if (a.input.empty() == a.from.empty()) throw UsageError("give either an input CSV file or --from TABLE");
    if (!a.db.empty() && !a.fromPg.empty()) throw UsageError("give either --db or --from-pg, not both");
    if (a.from.empty() != (a.db.empty() && a.fromPg.empty()))
        throw UsageError("--from goes with --db FILE or --from-pg CONNINFO");
    CheckDelimiter(a.csv);
    ScanOptions opt;
    opt.exitPath = ChooseExitPath(a.exitPath);
    opt.sourceName = a.from.empty()     ? a.input
                     : a.fromPg.empty() ? a.db + ", table " + a.from
                                        : "PostgreSQL table " + a.from;
    opt.rowLimit = -1;
    if (a.rows != "all") {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(a.rows.c_str(), &end, 10);
        if (a.rows.empty() || *end || errno || n <= 0) throw UsageError("--rows takes a positive number or all");
        opt.rowLimit = n;
    }
    try {
        std::shared_ptr<SqliteDb> db = a.db.empty() ? nullptr : std::make_shared<SqliteDb>(a.db, false);
        std::unique_ptr<Source> src = OpenSource(a.input, a.from, a.fromPg, db, a.csv);
        ScanReport r = ScanTable(*src, opt);
        std::cout << (a.json ? FormatScanJson(r) : FormatScanText(r));
        return r.status();
    } catch (const RunError& e) {
        std::cerr << "ztnid: error: " << e.what() << "\n";
        return STATUS_ERROR;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"ztnid - masks national identification numbers (French NIR, Italian codice fiscale, Spanish "
                 "NIF/NIE, UK National Insurance number) in CSV files and SQLite tables through the ZT0NID exit, "
                 "calling it exactly as a host does.\nExit status: 0 every row written, 1 some rows skipped, 2 error."};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string(),
                         "Print the version, the exit library that mask loads and its answer to a trial row");

    MaskArgs m;
    KeyedArgs k;
    CLI::App* mask = app.add_subcommand("mask", "Copy a table to another, masking the mapped columns through the exit "
                                                "(or with a key: --keyed); as unmask, reversing keyed columns");
    mask->alias("unmask");
    mask->add_option("input", m.input, "CSV file to read (header row, UTF-8; \"-\": standard input)")->type_name("FILE");
    mask->add_option("--map", m.maps, kMapHelp)->allow_extra_args(false)->type_name("MAP");
    mask->add_option("-o,--output", m.output, "CSV file to write (default: standard output)")->type_name("FILE");
    mask->add_option("--db", m.db, "SQLite database of --from and --to")->type_name("FILE");
    mask->add_option("--from-pg", m.fromPg,
                     "PostgreSQL database of --from (libpq connection string or URI; PG* variables and ~/.pgpass "
                     "apply)")
        ->type_name("CONNINFO");
    mask->add_option("--to-pg", m.toPg, "PostgreSQL database of --to (as --from-pg; may be another server)")
        ->type_name("CONNINFO");
    mask->add_option("--from", m.from,
                     "Source table in --db or --from-pg (instead of an input CSV file); PostgreSQL: SQL syntax, "
                     "SCHEMA.TABLE, \"Quoted Name\"")
        ->type_name("TABLE");
    mask->add_option("--to", m.to, "Destination table in --db or --to-pg (instead of CSV output), written in one "
                                   "transaction")
        ->type_name("TABLE");
    mask->add_flag("--replace", m.replace, "Drop and create the destination table when it exists");
    mask->add_flag("--append", m.append, "Insert into the destination table when it exists");
    AddCsvReadOptions(mask, m.csv, "run");
    mask->add_flag("--crlf", m.crlf, "CSV: end output lines with CR LF");
    mask->add_option("--on-skip", m.onSkip,
                     "A row the exit skips (result 1): auto = NULL when the destination column is nullable, else "
                     "the row is dropped; drop = the row is dropped; fail = the run stops (status 2)")
        ->check(CLI::IsMember({"auto", "drop", "fail"}));
    AddExitOption(mask, m.exitPath);
    mask->add_option("-j,--jobs", m.jobs,
                     "Threads that mask rows, each with its own work area per mapped column (default: the number "
                     "of processors); the output keeps the input order")
        ->check(CLI::Range(1, int(MAX_JOBS)))
        ->type_name("N");
    mask->add_flag("-q,--quiet", m.quiet, "No summary and no warnings (errors are still shown)");
    mask->add_flag("--strict", m.strict,
                   "Stop (status 2) where ztnid would warn: operand pairs the exit drops, formats it replaces by "
                   "the default, switch values longer than a two-letter country code");
    mask->add_flag("--dry-run", m.dryRun,
                   "Run through the exit but write nothing: print a preview of the rows and the summary instead "
                   "(no destination file or table is created or changed)");
    mask->add_option("--preview", m.preview, "Rows shown by --dry-run (default 5)")->type_name("N");
    mask->add_option("--keyed", k.columns,
                     "DEST[=SCOPE]: mask the mapped column DEST with the key instead of the exit (same switch, "
                     "source and format operands; SCOPE gives an unrelated mapping); with unmask, the scope of DEST")
        ->allow_extra_args(false)
        ->type_name("DEST[=SCOPE]");
    mask->add_option("--key-file", k.keyFile, "File holding the key: 32, 48 or 64 hex digits, or base64")
        ->type_name("FILE");
    mask->add_option("--key-env", k.keyEnv, "Environment variable holding the key (hex or base64)")->type_name("NAME");
    mask->footer("CSV: an empty field is NULL, a quoted empty field (\"\") an empty string.\n"
                 "Example: ztnid mask people.csv -o masked.csv --map 'nid=switch=country,format=(ES=8X)'\n"
                 "Keyed:   ztnid mask people.csv -o masked.csv --map 'nid=switch=country' --keyed nid=hr "
                 "--key-file nid.key\n"
                 "         ztnid unmask masked.csv -o people.csv --map 'nid=switch=country' --keyed nid=hr "
                 "--key-file nid.key");

    ScanArgs sc;
    CLI::App* scan = app.add_subcommand(
        "scan", "Find the columns that hold national identification numbers, checked by the exit itself, and print "
                "the --map that masks each");
    scan->add_option("input", sc.input, "CSV file to read (header row, UTF-8; \"-\": standard input)")->type_name("FILE");
    scan->add_option("--db", sc.db, "SQLite database of --from (never created nor changed)")->type_name("FILE");
    scan->add_option("--from-pg", sc.fromPg,
                     "PostgreSQL database of --from (libpq connection string or URI, as for mask)")
        ->type_name("CONNINFO");
    scan->add_option("--from", sc.from, "Table in --db or --from-pg to scan (instead of an input CSV file)")
        ->type_name("TABLE");
    scan->add_option("--rows", sc.rows, "Rows read at most: a number (default 100000) or all")->type_name("N|all");
    scan->add_flag("--json", sc.json, "Print the report as JSON (schema: host/ztnid/scan.schema.json)");
    AddCsvReadOptions(scan, sc.csv, "scan");
    AddExitOption(scan, sc.exitPath);
    scan->footer("Exit status: 0 national numbers found, 1 none found, 2 error.\n"
                 "Example: ztnid scan people.csv --rows all");

    ExplainArgs e;
    CLI::App* explain = app.add_subcommand("explain", "Show how the exit reads an operand string: the keyword map, "
                                                      "dropped pairs, mode bits and each country's format");
    explain->add_option("operands", e.operands, "The operand string, e.g. 'switch=CTRY,format=(FR=5X2C8X)'")
        ->required();
    explain->add_option("--src", e.src, "Type of the source column (default VARCHAR(255))")->type_name("TYPE(LENGTH)");
    explain->add_option("--dest", e.dest, "Type of the destination column (default VARCHAR(255))")
        ->type_name("TYPE(LENGTH)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& ex) {
        return app.exit(ex);
    } catch (const CLI::CallForAllHelp& ex) {
        return app.exit(ex);
    } catch (const CLI::CallForVersion&) {
        return PrintVersion(ChooseExitPath(""), std::cout);
    } catch (const CLI::ParseError& ex) {
        app.exit(ex);
        return STATUS_ERROR;
    }

    try {
        if (*explain)
            return Explain(e.operands, ParseType(e.src, DEFAULT_LENGTH), ParseType(e.dest, DEFAULT_LENGTH), std::cout);
        if (*scan) return RunScanCommand(sc);
        return RunMaskCommand(m, k, argc > 1 && std::string(argv[1]) == "unmask");
    } catch (const UsageError& ex) {
        std::cerr << "ztnid: error: " << ex.what() << "\nRun with --help for more information.\n";
        return STATUS_ERROR;
    } catch (const std::bad_alloc&) {
        std::cerr << "ztnid: error: out of memory\n";
        return STATUS_ERROR;
    }
}
