/*
** scan_test.cpp - ztnid scan and mask --dry-run, end to end.
**
** The numbers of the generated table are drawn by the exit itself (method random, one
** format per layout), so they are valid whatever the exit's rules; the decoys are
** values that look like numbers without being any.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "exit/host_records.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "ztnid_test_util.h"

using namespace ztnid_test;
using Json = nlohmann::json;

namespace {

const int kRows = 200;

/* The valid columns: country, format of the exit's random draws. */
const std::vector<std::pair<std::string, std::string>> kValid = {
    {"FR", "5X2C8X"},         {"FR", "5X2C6X-2X"},      {"FR", "5X2C6X 2X"},   {"IT", "16X"},
    {"IT", "3X-3X-5X-5X"},    {"IT", "3X 3X 5X 5X"},    {"ES", "8X"},          {"ES", "7X-1X"},
    {"ES", "7X 1X"},          {"UK", "2C6X1C"},         {"UK", "2C-6X-1C"},    {"UK", "2C.6X.1C"},
    {"UK", "2C 6X 1C"},       {"UK", "2C-2X-2X-2X-1C"}, {"UK", "2C 2X 2X 2X 1C"},
};

/* Draws valid numbers of a country in one layout from the exit. */
class Drawer {
public:
    Drawer(const std::string& country, const std::string& format)
        : map_(std::make_unique<hostemu::ColumnMap>(
              &KLOColMapWExit,
              Utf8ToUtf16("switch=\"" + country + ",method=random,format=(" + country + "=" + format + ")"),
              std::vector<hostemu::Column>{{u"v", 2, 255}}, std::vector<hostemu::Column>{{u"v", 2, 255}})) {}
    std::string next() { return Utf16ToUtf8(map_->row().put); }

private:
    std::unique_ptr<hostemu::ColumnMap> map_;
};

std::string Digits(std::mt19937& rng, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += char('0' + rng() % 10);
    return s;
}

std::string Chars(std::mt19937& rng, const char* set, int n) {
    std::string s;
    size_t len = std::strlen(set);
    for (int i = 0; i < n; ++i) s += set[rng() % len];
    return s;
}

/* A blank after every fourth character. */
std::string Spaced(const std::string& v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) s += (i && i % 4 == 0 ? " " : "") + std::string(1, v[i]);
    return s;
}

std::string Lower(std::string v) {
    for (char& c : v) c = char(std::tolower(static_cast<unsigned char>(c)));
    return v;
}

/* The decoy columns: each value generator by column name. */
std::map<std::string, std::string (*)(std::mt19937&, Drawer*)> Decoys() {
    return {
        {"phone", [](std::mt19937& r, Drawer*) { return r() % 2 ? "+33 6 " + Digits(r, 2) + " " + Digits(r, 2) + " " + Digits(r, 2) + " " + Digits(r, 2) : "0" + Digits(r, 9); }},
        {"iban", [](std::mt19937& r, Drawer*) { return r() % 2 ? "FR76" + Digits(r, 23) : "GB29NWBK" + Digits(r, 14); }},
        {"date", [](std::mt19937& r, Drawer*) { return "20" + Digits(r, 2) + "-0" + std::to_string(1 + r() % 9) + "-1" + Digits(r, 1); }},
        {"postcode", [](std::mt19937& r, Drawer*) { return r() % 2 ? Digits(r, 5) : "SW" + Digits(r, 1) + "A " + Digits(r, 1) + "AA"; }},
        {"order_no", [](std::mt19937& r, Drawer*) { return Digits(r, 15); }},
        {"code9", [](std::mt19937& r, Drawer*) { return Chars(r, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 9); }},
        {"lower_nid", [](std::mt19937&, Drawer* d) { return Lower(d->next()); }},
        {"spaced_nid", [](std::mt19937&, Drawer* d) { return Spaced(d->next()); }},
    };
}

std::string ValidName(size_t i) { return "nid_" + kValid[i].first + "_" + std::to_string(i); }

/* The generated table: decoys, one column per country and layout, and a column of
** every country with its country column (which names no masked country on the first
** row). */
std::string MakeTable(const std::string& path) {
    std::mt19937 rng(17);
    auto decoys = Decoys();
    Drawer itDrawer("IT", "16X"), ukDrawer("UK", "2C6X1C");
    std::vector<Drawer> valid;
    for (const auto& v : kValid) valid.emplace_back(v.first, v.second);
    std::string csv;
    for (const auto& d : decoys) csv += d.first + ",";
    for (size_t i = 0; i < kValid.size(); ++i) csv += ValidName(i) + ",";
    csv += "ctry,mixed\n";
    for (int row = 0; row < kRows; ++row) {
        for (const auto& d : decoys) csv += d.second(rng, row % 2 ? &itDrawer : &ukDrawer) + ",";
        for (Drawer& d : valid) csv += d.next() + ",";
        size_t pick = rng() % kValid.size();
        csv += (row == 0 ? "DE" : kValid[pick].first) + "," + valid[pick].next() + "\n"; /* a country not masked first */
    }
    WriteFile(path, csv);
    return csv;
}

/* The subset of JSON Schema the documented schema uses: type, enum, required,
** properties, additionalProperties, propertyNames, items, minimum, maximum, $ref. */
void CheckSchema(const Json& v, const Json& schema, const Json& root, const std::string& at) {
    if (schema.contains("$ref")) {
        std::string ref = schema["$ref"].get<std::string>().substr(2); /* "#/$defs/x" */
        return CheckSchema(v, root[Json::json_pointer("/" + ref)], root, at);
    }
    if (schema.contains("type")) {
        auto is = [&](const std::string& t) {
            return (t == "object" && v.is_object()) || (t == "array" && v.is_array()) || (t == "string" && v.is_string()) ||
                   (t == "integer" && v.is_number_integer()) || (t == "number" && v.is_number()) ||
                   (t == "boolean" && v.is_boolean()) || (t == "null" && v.is_null());
        };
        bool ok = false;
        for (const Json& t : schema["type"].is_array() ? schema["type"] : Json::array({schema["type"]})) ok |= is(t);
        ASSERT_TRUE(ok) << at << ": " << v.dump() << " is not " << schema["type"].dump();
    }
    if (schema.contains("enum")) {
        bool ok = false;
        for (const Json& e : schema["enum"]) ok |= e == v;
        EXPECT_TRUE(ok) << at << ": " << v.dump() << " not in " << schema["enum"].dump();
    }
    if (v.is_number() && schema.contains("minimum")) {
        EXPECT_GE(v.get<double>(), schema["minimum"].get<double>()) << at;
    }
    if (v.is_number() && schema.contains("maximum")) {
        EXPECT_LE(v.get<double>(), schema["maximum"].get<double>()) << at;
    }
    if (v.is_object()) {
        for (const Json& r : schema.value("required", Json::array())) EXPECT_TRUE(v.contains(r)) << at << " lacks " << r;
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (schema.contains("propertyNames")) CheckSchema(it.key(), schema["propertyNames"], root, at + "/" + it.key());
            if (schema.contains("properties") && schema["properties"].contains(it.key()))
                CheckSchema(it.value(), schema["properties"][it.key()], root, at + "/" + it.key());
            else if (schema.contains("additionalProperties") && schema["additionalProperties"].is_boolean()) {
                EXPECT_TRUE(schema["additionalProperties"].get<bool>()) << at << ": unexpected " << it.key();
            } else if (schema.contains("additionalProperties"))
                CheckSchema(it.value(), schema["additionalProperties"], root, at + "/" + it.key());
        }
    }
    if (v.is_array() && schema.contains("items"))
        for (size_t i = 0; i < v.size(); ++i) CheckSchema(v[i], schema["items"], root, at + "/" + std::to_string(i));
}

std::string RepoFile(const std::string& rel) {
    return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / rel).string();
}

/* The scan's JSON report of a CSV file, checked against the documented schema. */
Json ScanJson(const std::vector<std::string>& args, int wantStatus) {
    std::vector<std::string> all{"scan", "--json"};
    all.insert(all.end(), args.begin(), args.end());
    Outcome o = RunZtnid(all);
    EXPECT_EQ(o.status, wantStatus) << o.err;
    Json doc = Json::parse(o.out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << o.out;
    Json schema = Json::parse(ReadFile(RepoFile("host/ztnid/scan.schema.json")));
    CheckSchema(doc, schema, schema, "");
    return doc;
}

const Json* Column(const Json& doc, const std::string& name) {
    for (const Json& c : doc["columns"])
        if (c["name"] == name) return &c;
    return nullptr;
}

class Scan : public ZtnidProgramTest {};

} // namespace

TEST_F(Scan, FindsTheSampleNumbersWithTheirCountryColumn) {
    Json doc = ScanJson({SamplePath()}, 0);
    for (const Json& c : doc["columns"]) {
        EXPECT_EQ(c["detected"], c["name"] == "nid") << c["name"];
        EXPECT_EQ(c["country_column"], c["name"] == "country") << c["name"];
    }
    const Json* nid = Column(doc, "nid");
    ASSERT_TRUE(nid);
    EXPECT_EQ((*nid)["map"]["switch"], "country");
    EXPECT_EQ((*nid)["map"]["line"], "--map 'nid=switch=country'"); /* several layouts per country: the default keeps each */
    EXPECT_GT((*nid)["map"]["confidence"].get<double>(), 0.5);
    long accounted = (*nid)["map"]["valid"];
    for (const auto& r : (*nid)["map"]["invalid"].items()) accounted += r.value().get<long>();
    EXPECT_EQ(accounted, (*nid)["non_empty"]); /* every value valid or refused for a reason */
}

TEST_F(Scan, FindsEveryCountryInEveryLayoutAndNoDecoy) {
    std::string csv = MakeTable(dir / "t.csv");
    Json doc = ScanJson({dir / "t.csv"}, 0);
    for (const auto& d : Decoys()) {
        const Json* c = Column(doc, d.first);
        ASSERT_TRUE(c);
        EXPECT_FALSE((*c)["detected"]) << d.first << ": " << c->dump();
    }
    std::vector<std::string> maskArgs{"mask", dir / "t.csv", "-o", dir / "out.csv"};
    for (size_t i = 0; i < kValid.size(); ++i) {
        const Json* c = Column(doc, ValidName(i));
        ASSERT_TRUE(c);
        ASSERT_TRUE((*c)["detected"]) << ValidName(i);
        EXPECT_EQ((*c)["map"]["country"], kValid[i].first) << ValidName(i);
        EXPECT_EQ((*c)["map"]["valid"], kRows) << ValidName(i);
        maskArgs.push_back("--map");
        maskArgs.push_back((*c)["map"]["line"].get<std::string>().substr(7, std::string::npos));
        maskArgs.back().pop_back(); /* the shell quotes */
    }
    const Json* mixed = Column(doc, "mixed");
    ASSERT_TRUE(mixed && (*mixed)["detected"]);
    EXPECT_EQ((*mixed)["map"]["switch"], "ctry");
    EXPECT_EQ((*mixed)["map"]["valid"], kRows - 1);
    EXPECT_EQ((*mixed)["map"]["invalid"], Json({{"no country", 1}}));

    /* The suggested maps mask every row and keep each value's separators. */
    Outcome o = RunZtnid(maskArgs);
    ASSERT_EQ(o.status, 0) << o.err;
    std::vector<std::string> header;
    auto in = ReadCsvRows(dir / "t.csv", &header), out = ReadCsvRows(dir / "out.csv");
    ASSERT_EQ(in.size(), out.size());
    for (size_t r = 0; r < in.size(); ++r)
        for (size_t c = 0; c < header.size(); ++c) {
            if (header[c].rfind("nid_", 0) != 0) continue;
            ASSERT_EQ(in[r][c].size(), out[r][c].size()) << header[c] << " " << out[r][c];
            for (size_t k = 0; k < in[r][c].size(); ++k)
                EXPECT_EQ(std::isalnum(static_cast<unsigned char>(in[r][c][k])) != 0,
                          std::isalnum(static_cast<unsigned char>(out[r][c][k])) != 0)
                    << header[c] << ": " << out[r][c];
        }
}

TEST_F(Scan, NeverPrintsAWholeValue) {
    MakeTable(dir / "t.csv");
    std::vector<std::string> values;
    for (const auto& row : ReadCsvRows(dir / "t.csv"))
        for (const std::string& v : row)
            if (v.size() >= 8) values.push_back(v); /* shorter ones turn up inside numbers by chance */
    std::string all = RunZtnid({"scan", dir / "t.csv"}).out + RunZtnid({"scan", "--json", dir / "t.csv"}).out;
    Outcome dry = RunZtnid({"mask", "--dry-run", "--preview", "50", dir / "t.csv", "--map", "mixed=switch=ctry"});
    all += dry.out + dry.err;
    ASSERT_NE(all.find("**"), std::string::npos) << all;
    for (const std::string& v : values) ASSERT_EQ(all.find(v), std::string::npos) << v;
}

TEST_F(Scan, ExitStatus) {
    WriteFile(dir / "none.csv", "a,b\nhello,world\n12345678,FR\n");
    std::string wide; /* more columns than the exit's lists hold */
    for (int i = 0; i < 40000; ++i) wide += (i ? ",c" : "c") + std::to_string(i);
    WriteFile(dir / "wide.csv", wide + "\n" + std::string(39999, ',') + "hello\n");
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"scan", SamplePath(), "--rows", "5"}, 0},
        {{"scan", dir / "none.csv"}, 1},
        {{"scan", dir / "missing.csv"}, 2},
        {{"scan", dir / "wide.csv"}, 2},
        {{"scan", SamplePath(), "--rows", "0"}, 2},
        {{"scan", "--db", dir / "missing.db", "--from", "t"}, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(RunZtnid(c.args).status, c.status) << c.args[1] << " " << c.args.back();
    EXPECT_FALSE(FileExists(dir / "missing.db")); /* the scan opens a database read-only */
    Json doc = ScanJson({SamplePath(), "--rows", "5"}, 0);
    EXPECT_EQ(doc["rows"], 5);
    EXPECT_FALSE(doc["complete"]);
}

TEST_F(Scan, DryRunLeavesTheDestinationUntouched) {
    const std::string db = dir / "d.db";
    Outcome copy = RunZtnid({"mask", SamplePath(), "--db", db, "--to", "people"});
    ASSERT_EQ(copy.status, 0) << copy.err;
    WriteFile(dir / "old.csv", "keep\n");
    std::string dbBefore = ReadFile(db);
    const std::string map = "nid=switch=country";
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{SamplePath(), "-o", dir / "new.csv"}, 1},
        {{SamplePath(), "-o", dir / "old.csv"}, 1},
        {{SamplePath(), "--db", dir / "new.db", "--to", "t"}, 1},
        {{"--db", db, "--from", "people", "--to", "people", "--replace"}, 2}, /* same table: refused as in a real run */
        {{"--db", db, "--from", "people", "--to", "masked"}, 1},
        {{SamplePath(), "--db", db, "--to", "people", "--replace"}, 1},
        {{SamplePath(), "--db", db, "--to", "people"}, 2}, /* exists without --replace */
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"mask", "--dry-run", "--preview", "3", "--map", map};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, c.status) << o.out << o.err;
        if (c.status == 1) {
            EXPECT_NE(o.out.find("first 3 rows"), std::string::npos) << o.out;
            EXPECT_NE(o.out.find("invalid part"), std::string::npos) << o.out; /* the skip reasons */
        }
    }
    EXPECT_FALSE(FileExists(dir / "new.csv"));
    EXPECT_FALSE(FileExists(dir / "new.db"));
    EXPECT_EQ(ReadFile(dir / "old.csv"), "keep\n");
    EXPECT_EQ(ReadFile(db), dbBefore);
}

TEST_F(Scan, ScansAnSqliteTable) {
    const std::string db = dir / "d.db";
    ASSERT_EQ(RunZtnid({"mask", SamplePath(), "--db", db, "--to", "people"}).status, 0);
    Json doc = ScanJson({"--db", db, "--from", "people"}, 0);
    const Json* nid = Column(doc, "nid");
    ASSERT_TRUE(nid);
    EXPECT_EQ((*nid)["map"]["switch"], "country");
}
#endif
