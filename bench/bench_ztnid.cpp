/*
** bench_ztnid.cpp - rows per second of ztnid, CSV to CSV, against the exit alone.
**
** A million-row CSV file (id, name, country, nid; Spanish NIF and NIE numbers) is made
** once in the temporary folder.  BM_ZtnidCsvToCsv runs the ztnid program on it with one
** mapped column (wall time of the whole process: start, exit loading, parsing, masking,
** writing); BM_ZtnidCsvCopy runs it without a mapped column, to show the cost of the CSV
** work alone; BM_ExitAlone calls the exit in process through the host records for the
** same values, with a host that hands them over from memory.  rows_per_cpu_s counts the
** processor time of the ztnid process, which a busy machine disturbs less than the wall
** time.  BM_ZtnidScan runs `ztnid scan --rows all` on a million-row file of eight
** columns (id, name, country, nid of every country and layout, phone, date, a 15-digit
** order number that the exit is asked about as a French number, postcode), the
** national numbers drawn by the exit itself.  BM_ZtnidCsvToCsv and BM_ZtnidCsvCopy run
** with one and two threads (-j), BM_ZtnidCsvToCsvTwoProcesses runs two -j 1 processes at
** once (the most two cores give independent work); BM_ZtnidPgToPg masks the same rows
** from one PostgreSQL table into another.
*/
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "host/emul/host_emul.h"
#include "tests/support/pg_cluster.h"

namespace {

enum { ROWS = 1000000 };

/* The NIF or NIE of the i-th row (a fixed pseudo-random sequence). */
std::string NumberOfRow(uint64_t i) {
    static const char kLetters[] = "TRWAGMYFPDXBNJZSQVHLCKE";
    uint32_t n = uint32_t((i * 2654435761u + 12345) % 10000000);
    char b[16];
    if (i % 10 == 0)
        std::snprintf(b, sizeof b, "X%07u%c", n, kLetters[n % 23]);
    else
        std::snprintf(b, sizeof b, "%07u%c", n, kLetters[n % 23]);
    return b;
}

const char* const kNames[] = {"José García", "Ægir Łukasz", "\"Smith, Jo\"", "王明", "Zoë"};

/* The path of an input file in the temporary folder, written by write the first time
** (kept for later runs). */
std::string InputFile(const char* name, void (*write)(FILE*)) {
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name;
    if (std::filesystem::exists(path)) return path;
    std::string tmpPath = path + ".part";
    FILE* f = std::fopen(tmpPath.c_str(), "wb");
    write(f);
    std::fclose(f);
    std::filesystem::rename(tmpPath, path);
    return path;
}

/* The million-row input of the masking runs. */
void WriteMaskInput(FILE* f) {
    std::fputs("id,name,country,nid\n", f);
    for (uint64_t i = 1; i <= ROWS; ++i)
        std::fprintf(f, "%llu,%s,ES,%s\n", static_cast<unsigned long long>(i), kNames[i % 5], NumberOfRow(i).c_str());
}

/* ztnid is built beside libZT0NID.so, one folder above this program. */
std::string ZtnidPath() {
    if (const char* p = std::getenv("ZTNID")) return p;
    return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "ztnid").string();
}

/* Starts ztnid with args, output to the null device. */
pid_t StartZtnid(std::vector<std::string> args) {
    args.insert(args.begin(), ZtnidPath());
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

/* Waits for a ztnid run; its exit status, and in *cpu the seconds of processor time it
** used (a measure less disturbed by a busy machine). */
int WaitZtnid(pid_t pid, double* cpu) {
    int ws = 0;
    struct rusage ru {};
    wait4(pid, &ws, 0, &ru);
    *cpu += double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

int RunZtnid(std::vector<std::string> args, double* cpu) { return WaitZtnid(StartZtnid(std::move(args)), cpu); }

/* Runs ztnid with args once per iteration, each run over ROWS rows; status 0 expected.
** Sets rows_per_cpu_s and returns the processor seconds of one run. */
double TimeRuns(benchmark::State& state, const std::vector<std::string>& args) {
    double cpu = 0;
    for (auto _ : state) {
        int status = RunZtnid(args, &cpu);
        if (status != 0) {
            state.SkipWithError(("ztnid ended with status " + std::to_string(status)).c_str());
            break;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * ROWS);
    if (cpu > 0) state.counters["rows_per_cpu_s"] = double(state.iterations()) * double(ROWS) / cpu;
    return state.iterations() ? cpu / double(state.iterations()) : 0;
}

void RunProgram(benchmark::State& state, std::vector<std::string> extra) {
    std::string in = InputFile("ztnid_bench_1m.csv", WriteMaskInput);
    std::string out = in + ".out";
    std::vector<std::string> args{"mask", in, "-o", out, "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    TimeRuns(state, args);
    std::remove(out.c_str());
}

/* The argument is the number of threads (-j). */
void BM_ZtnidCsvToCsv(benchmark::State& state) {
    RunProgram(state, {"--map", "nid=switch=\"ES", "-j", std::to_string(state.range(0))});
}
BENCHMARK(BM_ZtnidCsvToCsv)->ArgName("j")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

/* Two runs of -j 1 side by side, on two copies of the output: what the machine gives
** two independent processes, the ceiling of what -j 2 can gain on it. */
void BM_ZtnidCsvToCsvTwoProcesses(benchmark::State& state) {
    std::string in = InputFile("ztnid_bench_1m.csv", WriteMaskInput);
    double cpu = 0;
    for (auto _ : state) {
        pid_t a = StartZtnid({"mask", in, "-o", in + ".out1", "-q", "-j", "1", "--map", "nid=switch=\"ES"});
        pid_t b = StartZtnid({"mask", in, "-o", in + ".out2", "-q", "-j", "1", "--map", "nid=switch=\"ES"});
        if ((WaitZtnid(a, &cpu) | WaitZtnid(b, &cpu)) != 0) {
            state.SkipWithError("ztnid failed");
            break;
        }
    }
    std::remove((in + ".out1").c_str());
    std::remove((in + ".out2").c_str());
    state.SetItemsProcessed(int64_t(state.iterations()) * ROWS * 2);
    if (cpu > 0) state.counters["rows_per_cpu_s"] = double(state.iterations()) * double(ROWS) * 2 / cpu;
}
BENCHMARK(BM_ZtnidCsvToCsvTwoProcesses)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_ZtnidCsvCopy(benchmark::State& state) { RunProgram(state, {"-j", std::to_string(state.range(0))}); }
BENCHMARK(BM_ZtnidCsvCopy)->ArgName("j")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

/* PostgreSQL to PostgreSQL on a throwaway cluster of this machine (the tests' own: a
** Unix socket, fsync off): a table of the same million rows, masked into a new table in
** the same database.  The time is the wall time of the ztnid process, which includes
** the server's work of reading and writing the tables. */
std::string PgDatabase(std::string* why) {
    static std::string db;
    if (!db.empty()) return db;
    const pgtest::PgCluster* c = pgtest::SharedPgCluster(why);
    if (!c) return "";
    PGconn* conn = PQconnectdb(c->conninfo().c_str());
    PGresult* r = PQexec(conn,
                         "CREATE TABLE people (id bigint, name text, country char(2), nid varchar(20));"
                         "INSERT INTO people SELECT i, (ARRAY['José García', 'Ægir Łukasz', '\"Smith, Jo\"', '王明', "
                         "'Zoë'])[i % 5 + 1], 'ES', CASE WHEN i % 10 = 0 THEN 'X' ELSE '' END || "
                         "lpad(((i * 2654435761 + 12345) % 10000000)::text, 7, '0') || "
                         "substr('TRWAGMYFPDXBNJZSQVHLCKE', ((i * 2654435761 + 12345) % 10000000 % 23)::int + 1, 1) "
                         "FROM generate_series(1, 1000000) i;");
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) *why = PQresultErrorMessage(r);
    PQclear(r);
    PQclear(PQexec(conn, "VACUUM ANALYZE people"));
    PQfinish(conn);
    if (ok) db = c->conninfo();
    return db;
}

void BM_ZtnidPgToPg(benchmark::State& state) {
    std::string why;
    std::string db = PgDatabase(&why);
    if (db.empty()) {
        state.SkipWithError(("no PostgreSQL cluster: " + why).c_str());
        return;
    }
    TimeRuns(state, {"mask", "-q", "--from-pg", db, "--from", "people", "--to-pg", db, "--to", "people_masked",
                     "--replace", "--map", "nid=switch=\"ES", "-j", std::to_string(state.range(0))});
}
BENCHMARK(BM_ZtnidPgToPg)->ArgName("j")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

/* 1024 valid numbers of each country and layout, drawn by the exit's random method. */
std::vector<std::pair<std::string, std::string>> DrawNumbers() {
    static const char* const kFormats[][2] = {
        {"FR", "5X2C8X"}, {"FR", "5X2C6X-2X"}, {"IT", "16X"},    {"IT", "3X 3X 5X 5X"},
        {"ES", "8X"},     {"ES", "7X-1X"},     {"UK", "2C6X1C"}, {"UK", "2C 2X 2X 2X 1C"},
    };
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& f : kFormats) {
        std::string ops = std::string("switch=\"") + f[0] + ",method=random,format=(" + f[0] + "=" + f[1] + ")";
        hostemu::ColumnMap map(&KLOColMapWExit, std::u16string(ops.begin(), ops.end()), {{u"nid", 2, 255}},
                               {{u"nid", 2, 255}});
        for (int i = 0; i < 1024; ++i) {
            std::u16string v = map.row().put;
            out.emplace_back(f[0], std::string(v.begin(), v.end()));
        }
    }
    return out;
}

/* The million-row, eight-column input of the scan. */
void WriteScanInput(FILE* f) {
    auto numbers = DrawNumbers();
    std::fputs("id,name,country,nid,phone,birth_date,order_no,postcode\n", f);
    for (uint64_t i = 1; i <= ROWS; ++i) {
        uint64_t h = i * 2654435761u;
        const auto& n = numbers[h % numbers.size()];
        std::fprintf(f, "%llu,%s,%s,%s,+33 6 %02llu %02llu %02llu %02llu,19%02llu-%02llu-%02llu,1%014llu,%05llu\n",
                     static_cast<unsigned long long>(i), kNames[i % 5], n.first.c_str(), n.second.c_str(),
                     (unsigned long long)(h % 100), (unsigned long long)(h / 100 % 100), (unsigned long long)(i % 100),
                     (unsigned long long)(h / 7 % 100), (unsigned long long)(h % 100), (unsigned long long)(1 + i % 12),
                     (unsigned long long)(1 + h % 28), (unsigned long long)(h * i % 100000000000000ull),
                     (unsigned long long)(h % 100000));
    }
}

void BM_ZtnidScan(benchmark::State& state) {
    std::string in = InputFile("ztnid_bench_scan_1m.csv", WriteScanInput);
    state.counters["cpu_s_per_scan"] = TimeRuns(state, {"scan", in, "--rows", "all"});
}
BENCHMARK(BM_ZtnidScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

/* A host whose rows are already 16-bit strings in memory. */
class MemoryHost : public hostemu::RowHost {
public:
    const std::u16string* value = nullptr;
    int16_t get(size_t, uint16_t, uint16_t, void* buffer, int32_t bufferLength, int16_t* nullInd) override {
        *nullInd = NULLIND_VALUE;
        size_t n = value->size();
        if (size_t(bufferLength) < (n + 1) * 2) return 9;
        std::memcpy(buffer, value->c_str(), (n + 1) * 2);
        return 0;
    }
    int16_t put(const char16_t*, int32_t) override { return 0; }
};

void BM_ExitAlone(benchmark::State& state) {
    std::vector<std::u16string> values;
    for (uint64_t i = 1; i <= 4096; ++i) {
        std::string s = NumberOfRow(i);
        values.emplace_back(s.begin(), s.end());
    }
    hostemu::ColumnMap map(&KLOColMapWExit, u"switch=\"ES", {{u"nid", 2, 255}}, {{u"nid", 2, 255}});
    MemoryHost host;
    map.setHost(&host);
    size_t i = 0;
    for (auto _ : state) {
        host.value = &values[i++ & 4095];
        int16_t rc = map.rowFast(nullptr, nullptr);
        if (rc != 0) {
            state.SkipWithError("the exit did not mask the row (is Spain in the exit?)");
            break;
        }
    }
    map.end();
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_ExitAlone);

} // namespace
