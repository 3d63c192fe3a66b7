/* scan_test.cpp - ztnid scan and mask --dry-run, end to end, on the sample and on a table
** of numbers drawn by the exit itself (so valid whatever its rules) and decoys. */
#if !defined(_WIN32)
#include <algorithm>
#include <cctype>
#include <memory>
#include <random>

#include <nlohmann/json.hpp>

#include "ztnid_test_util.h"

using namespace ztnid_test;
using Json = nlohmann::json;

const int kRows = 200;

/* The valid columns: country, format of the exit's random draws. */
const std::pair<std::string, std::string> kValid[] = {
    {"FR", "5X2C8X"}, {"FR", "5X2C6X-2X"}, {"FR", "5X2C6X 2X"}, {"IT", "16X"},
    {"IT", "3X-3X-5X-5X"}, {"IT", "3X 3X 5X 5X"}, {"ES", "8X"}, {"ES", "7X-1X"}, {"ES", "7X 1X"},
    {"UK", "2C6X1C"}, {"UK", "2C-6X-1C"}, {"UK", "2C.6X.1C"}, {"UK", "2C 6X 1C"},
    {"UK", "2C-2X-2X-2X-1C"}, {"UK", "2C 2X 2X 2X 1C"},
};

/* Draws valid numbers of a country in one layout from the exit. */
struct Drawer {
    Drawer(const std::string& c, const std::string& format) {
        std::vector<hostemu::Column> v{{u"v", 2, 255}};
        std::string ops = "switch=\"" + c + ",method=random,format=(" + c + "=" + format + ")";
        map = std::make_unique<hostemu::ColumnMap>(&KLOColMapWExit, Utf8ToUtf16(ops), v, v);
    }
    std::string next() { return Utf16ToUtf8(map->row().put); }
    std::unique_ptr<hostemu::ColumnMap> map;
};

/* Decoys: '#' a digit, '%' a digit but 0, '@' a letter or digit, '|' between alternatives;
** "lower" and "spaced": numbers lower-cased or with a blank after every fourth character. */
const std::pair<std::string, std::string> kDecoys[] = {
    {"phone", "+33 6 ## ## ## ##|0#########"}, {"iban", "FR76" + std::string(23, '#')},
    {"iban_gb", "GB29NWBK##############"}, {"date", "20##-0%-1#"}, {"postcode", "#####|SW#A #AA"},
    {"order_no", "###############"}, {"code9", "@@@@@@@@@"}, {"lower_nid", "lower"},
    {"spaced_nid", "spaced"},
};

static std::string Decoy(std::mt19937& rng, const std::string& pattern, Drawer& nid) {
    const char* alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string v = pattern == "lower" || pattern == "spaced" ? nid.next() : pattern, out;
    if (size_t bar = v.find('|'); bar != v.npos) v = rng() % 2 ? v.substr(0, bar) : v.substr(++bar);
    for (size_t i = 0; i < v.size(); ++i) {
        char c = v[i] == '#' ? alnum[26 + rng() % 10] : v[i] == '%' ? alnum[27 + rng() % 9] : v[i];
        c = c == '@' ? alnum[rng() % 36] : pattern == "lower" ? char(std::tolower(c)) : c;
        out += (pattern == "spaced" && i && i % 4 == 0 ? " " : "") + std::string(1, c);
    }
    return out;
}

static std::string ValidCol(size_t i) { return "nid_" + kValid[i].first + "_" + std::to_string(i); }

/* The generated table: decoys, one column per country and layout, and a column of every
** country with its country column (which names no masked country on row 1). */
static void MakeTable(const std::string& path) {
    std::mt19937 rng(17);
    Drawer it("IT", "16X"), uk("UK", "2C6X1C");
    std::vector<Drawer> valid;
    std::string csv;
    for (const auto& d : kDecoys) csv += d.first + ",";
    for (size_t i = 0; i < std::size(kValid); ++i) {
        valid.emplace_back(kValid[i].first, kValid[i].second);
        csv += ValidCol(i) + ",";
    }
    csv += "ctry,mixed\n";
    for (int row = 0; row < kRows; ++row) {
        for (const auto& d : kDecoys) csv += Decoy(rng, d.second, row % 2 ? it : uk) + ",";
        for (Drawer& d : valid) csv += d.next() + ",";
        size_t pick = rng() % std::size(kValid);
        csv += (row == 0 ? "DE" : kValid[pick].first) + "," + valid[pick].next() + "\n";
    }
    WriteFile(path, csv);
}

/* The output against the documented schema: required keys, no other key, the types. */
static void CheckSchema(const Json& v, Json s, const Json& root, const std::string& at) {
    if (s.contains("$ref")) s = root[Json::json_pointer(s["$ref"].get<std::string>().substr(1))];
    const std::string types = s.value("type", Json()).dump();
    const std::string type = v.is_number_integer() ? "integer" : v.type_name();
    EXPECT_TRUE(!s.contains("type") || Contains(types, '"' + type + '"') ||
                (type == "integer" && Contains(types, "number"))) << at << " is " << type;
    for (const Json& r : s.value("required", Json::array()))
        EXPECT_TRUE(!v.is_object() || v.contains(r)) << at << " lacks " << r;
    for (auto it = v.begin(); v.is_object() && it != v.end(); ++it) {
        Json sub = s.value("properties", Json::object()).value(it.key(), Json());
        sub = sub.is_null() ? s.value("additionalProperties", Json(true)) : sub;
        EXPECT_NE(sub, Json(false)) << at << ": unexpected " << it.key();
        if (sub.is_object()) CheckSchema(*it, sub, root, at + "/" + it.key());
    }
    for (size_t i = 0; v.is_array() && i < v.size(); ++i)
        CheckSchema(v[i], s["items"], root, at + "/" + std::to_string(i));
}

/* The scan's JSON report, status 0, checked against the documented schema. */
static Json ScanJson(const Args& args) {
    Outcome o = RunZtnid(Plus({"scan", "--json"}, args));
    EXPECT_EQ(o.status, 0) << o.err;
    Json doc = Json::parse(o.out, nullptr, false), schema;
    EXPECT_FALSE(doc.is_discarded()) << o.out;
    schema = Json::parse(ReadFile(RepoFile("host/ztnid/scan.schema.json")));
    CheckSchema(doc, schema, schema, "");
    return doc;
}

static Json Column(const Json& doc, const std::string& name) {
    for (const Json& c : doc["columns"])
        if (c["name"] == name) return c;
    return Json::object();
}

using Scan = Ztnid;

/* The sample's numbers, each valid or refused for a reason; the same from its SQLite copy,
** which a dry run leaves untouched. */
TEST_F(Scan, FindsTheSampleNumbersInCsvAndSqliteAndADryRunWritesNothing) {
    const std::string s = SamplePath(), db = dir / "d.db";
    Json doc = ScanJson({s});
    for (const Json& c : doc["columns"]) {
        EXPECT_EQ(c["detected"], c["name"] == "nid") << c["name"];
        EXPECT_EQ(c["country_column"], c["name"] == "country") << c["name"];
    }
    EXPECT_EQ(Column(doc, "nid")["non_empty"], 462);
    EXPECT_EQ(Column(doc, "nid")["map"].dump(), Json::parse(R"({"switch": "country",
        "country": null, "operands": "switch=country", "line": "--map 'nid=switch=country'",
        "valid": 364, "invalid": {"invalid part": 32, "invalid data": 10, "invalid separators": 4,
        "not shaped like one": 10, "no country": 42}, "share": 0.7879,
        "confidence": 0.7483})").dump());
    ASSERT_EQ(Mask({s, "--db", db, "--to", "people"}).status, 0);
    EXPECT_EQ(ScanJson({"--db", db, "--from", "people"})["columns"], doc["columns"]);
    Json part = ScanJson({s, "--rows", "5"});
    EXPECT_EQ(Json({part["rows"], part["complete"]}), Json({5, false}));
    const std::string dbBefore = ReadFile(db);
    WriteFile(dir / "old.csv", "keep\n");
    const Args dry = {"mask", "--dry-run", "--preview", "3", "--map", "nid=switch=country"};
    const Args preview = {"first 3 rows", "invalid part"}; /* with the skip reasons */
    ExpectOutcomes({{Plus(dry, {s, "-o", dir / "new.csv"}), 1, preview},
                    {Plus(dry, {s, "-o", dir / "old.csv"}), 1, preview},
                    {Plus(dry, {s, "--db", dir / "new.db", "--to", "t"}), 1, preview},
                    {Plus(dry, {"--db", db, "--from", "people", "--to", "masked"}), 1, preview},
                    {Plus(dry, {s, "--db", db, "--to", "people", "--replace"}), 1, preview},
                    /* refused as in a real run */
                    {Plus(dry, {"--db", db, "--from", "people", "--to", "people", "--replace"}), 2,
                     {"--from and --to name the same table"}},
                    {Plus(dry, {s, "--db", db, "--to", "people"}), 2,
                     {"table people exists (use --replace or --append)"}}},
                   dir.path);
    EXPECT_FALSE(FileExists(dir / "new.csv") || FileExists(dir / "new.db"));
    EXPECT_EQ(ReadFile(dir / "old.csv"), "keep\n");
    EXPECT_EQ(ReadFile(db), dbBefore);
}

/* Every layout found with its country, no decoy, no whole value printed; the maps suggested
** mask every row and keep each value's separators. */
TEST_F(Scan, FindsEveryCountryInEveryLayoutAndNoDecoyAndNeverPrintsAWholeValue) {
    MakeTable(dir / "t.csv");
    Json doc = ScanJson({dir / "t.csv"});
    Outcome dry = Mask({dir / "t.csv", "--dry-run", "--preview", "50",
                        "--map", "mixed=switch=ctry"});
    std::string all = RunZtnid({"scan", dir / "t.csv"}).out + dry.out + dry.err + doc.dump();
    ASSERT_TRUE(Contains(all, "**")) << all;
    for (const auto& d : kDecoys) EXPECT_FALSE(Column(doc, d.first)["detected"]) << d.first;
    Args mask{dir / "t.csv", "-o", dir / "out.csv"};
    for (size_t i = 0; i < std::size(kValid); ++i) {
        const Json map = Column(doc, ValidCol(i))["map"];
        ASSERT_FALSE(map.is_null()) << ValidCol(i);
        EXPECT_EQ(map["country"], kValid[i].first) << ValidCol(i);
        EXPECT_EQ(map["valid"], kRows) << ValidCol(i);
        std::string line = map["line"];
        mask.insert(mask.end(), {"--map", line.substr(7, line.size() - 8)}); /* unquoted */
    }
    const Json mixed = Column(doc, "mixed")["map"];
    EXPECT_EQ(mixed["switch"], "ctry");
    EXPECT_EQ(mixed["valid"], kRows - 1);
    EXPECT_EQ(mixed["invalid"], Json({{"no country", 1}}));
    Outcome o = Mask(mask);
    ASSERT_EQ(o.status, 0) << o.err;
    Args header;
    Rows in = CsvRows(dir / "t.csv", &header), out = CsvRows(dir / "out.csv");
    ASSERT_EQ(in.size(), out.size());
    for (const auto& row : in)
        for (const std::string& v : row) /* shorter ones turn up inside numbers by chance */
            ASSERT_FALSE(v.size() >= 8 && Contains(all, v)) << v;
    auto shape = [](std::string v) {
        for (char& c : v) c = std::isalnum(static_cast<unsigned char>(c)) ? 'x' : c;
        return v;
    };
    for (size_t r = 0; r < in.size(); ++r)
        for (size_t c = 0; c < header.size(); ++c)
            EXPECT_TRUE(!header[c].starts_with("nid_") || shape(out[r][c]) == shape(in[r][c]));
}
#endif
