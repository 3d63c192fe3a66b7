/*
** explain.cpp - `ztnid explain`: what the exit makes of an operand string.
**
** The keyword map comes from the exit's own parser.  To show the pairs it dropped, the
** text is cut into pairs the way the parser cuts a level (a pair ends at a separator
** outside parentheses; an empty pair keeps its start, so a doubled separator begins the
** next pair) and each pair is judged by the parser's closing rules; the pairs judged
** kept are then matched, in order, with the entries of the real map.
*/
#include "host/ztnid/explain.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <memory>
#include <vector>

#include "exit/exit_internal.h"
#include "exit/operands/operands.h"
#include "exit/formats/formats.h"
#include "exit/wstr.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"

namespace ztnid {

namespace {

std::string U8(const char16_t* s, size_t n) { return Utf16ToUtf8(std::u16string_view(s, n)); }
std::string U8(const std::u16string& s) { return Utf16ToUtf8(s); }

/* A message without the line break some country messages end with. */
std::string Message(const char16_t* msg) {
    std::string s = U8(msg, WStrLen(msg));
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

std::string KeywordName(uint16_t id) {
    if (id == 0 || id > KEYWORD_COUNT) return "?";
    const KEYWORD& k = KeywordTable[id - 1];
    return U8(k.LongName, WStrNLen(k.LongName, 15)) + "/" + U8(k.ShortName, WStrNLen(k.ShortName, 5));
}

/* ------------------------------------------------------------------ pairs */

/* One pair of a level as the parser delimits it, and the parser's verdict. */
struct PAIR {
    std::u16string text;
    bool kept = false;
    std::string why;              /* why it was dropped */
    std::u16string value;         /* the value a kept pair carries */
};

/* Judges a pair by the parser's closing rules. */
void ClosePair(PAIR* p) {
    const std::u16string& t = p->text;
    size_t eq = t.find(u'=');
    if (eq == std::u16string::npos) {
        p->why = "no \"=\"";
        return;
    }
    std::u16string kw;
    for (size_t i = 0; i < eq; ++i)
        if (t[i] != u' ') kw += t[i];
    if (kw.size() > KEYWORD_MAX_CHARS || LookupKeyword(kw.c_str()) < 0) {
        p->why = "unknown keyword \"" + U8(kw) + "\"";
        return;
    }
    size_t v = eq + 1;
    int open = 0;
    for (; v < t.size() && (t[v] == u' ' || t[v] == u'('); ++v) open += t[v] == u'(';
    if (v >= t.size()) {
        p->why = "no value";
        return;
    }
    size_t e = t.size();
    while (e > v && (t[e - 1] == u' ' || (t[e - 1] == u')' && open > 0))) open -= t[--e] == u')';
    p->value = t.substr(v, e - v);
    p->kept = true;
}

/* The pairs of one level of text, in order. */
std::vector<PAIR> SplitLevel(const std::u16string& s) {
    std::vector<PAIR> out;
    size_t i = 0;
    while (i < s.size() && !WIsLetter(s[i])) ++i;
    size_t start = i;
    for (; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == u',') {
            if (i > start) {
                out.push_back(PAIR{s.substr(start, i - start), false, "", u""});
                ClosePair(&out.back());
                start = i + 1;
            }
            continue;
        }
        if (s[i] != u'(') continue;
        int count = 0;
        for (;; ++i) {
            count += s[i] == u'(' ? 1 : s[i] == u')' ? -1 : 0;
            if (count == 0 || i + 1 >= s.size()) break;
        }
        if (count != 0) {
            out.push_back(PAIR{s.substr(start), false, "\"(\" not closed", u""});
            break;
        }
    }
    return out;
}

/* Shows the pairs of one level next to the entries of its map; the pairs dropped are
** also added to *dropped. */
void ShowLevel(const std::u16string& text, const MAP* map, int depth, std::ostream& out,
               std::vector<std::string>* dropped) {
    std::vector<PAIR> pairs = SplitLevel(text);
    std::string indent(size_t(2 + 4 * depth), ' ');
    int kept = 0;
    for (const PAIR& p : pairs) kept += p.kept;
    int count = map ? map->Count : 0;
    if (kept != count) {
        out << indent << "(the pairs below are the parser's map; the text could not be matched with it)\n";
        pairs.clear();
        for (int i = 0; i < count; ++i) pairs.push_back(PAIR{u"", true, "", u""});
    }
    int e = 0;
    for (const PAIR& p : pairs) {
        std::string shown = U8(p.text);
        if (!shown.empty()) shown.resize(std::max<size_t>(shown.size() + 2, 30 - indent.size()), ' ');
        out << indent << shown;
        if (!p.kept) {
            out << "dropped: " << p.why << "\n";
            dropped->push_back("the pair \"" + U8(p.text) + "\" is dropped: " + p.why);
            continue;
        }
        const MAPENTRY& entry = map->pEntries[e++];
        if (entry.KeywordId == 0) {
            out << "dropped: a list without a valid pair\n";
            dropped->push_back("the pair \"" + U8(p.text) + "\" is dropped: a list without a valid pair");
        } else if (entry.IsList) {
            out << "-> " << KeywordName(entry.KeywordId) << " (" << entry.KeywordId << "), a list:\n";
            ShowLevel(p.value, entry.Value.pList, depth + 1, out, dropped);
        } else {
            const char16_t* v = entry.Value.pStr;
            out << "-> " << KeywordName(entry.KeywordId) << " (" << entry.KeywordId << ") = \""
                << U8(v, WStrLen(v)) << "\"\n";
        }
    }
    if (pairs.empty()) out << indent << "(none)\n";
}

/* ------------------------------------------------------------------ countries */

struct BITNAME {
    uint32_t bit;
    const char* name;
};

/* The named bits set in word, joined with ", ". */
std::string Bits(uint32_t word, const std::vector<BITNAME>& names) {
    std::string s;
    for (const BITNAME& b : names)
        if (word & b.bit) s += (s.empty() ? "" : ", ") + std::string(b.name);
    return s;
}

/* What a country's work-area word means (the bits each country records). */
std::string DescribeFR(uint32_t w) {
    std::string fields = Bits(w, {{0x02, "sex"}, {0x04, "year"}, {0x08, "month"}, {0x10, "department"},
                                  {0x20, "commune"}});
    std::string s = "replaces " + (fields.empty() ? "" : fields + ", ") + "order number and key";
    if (w & 0x40) return s + "; key after \"-\" (16 characters where the destination holds them)";
    if (w & 0x80) return s + "; key after a blank (16 characters where the destination holds them)";
    if (w & 0x01) return s + "; 15 characters, no separator";
    return s + "; each value keeps its own layout";
}

std::string DescribeUK(uint32_t w) {
    std::string s = (w & 0x001) ? "replaces prefix and digits" : "keeps the prefix, replaces the digits";
    s += (w & 0x200) ? "; drops the suffix (destination of 8 characters)" : "; copies the suffix";
    if (!(w & 0x100)) return s + "; each value keeps its own layout";
    std::string sep = (w & 0x008) ? "\"-\"" : (w & 0x004) ? "blanks" : "\".\"";
    if (w & 0x020) return s + "; three groups separated by " + sep;
    if (w & 0x040) return s + "; five groups separated by " + sep;
    return s + "; compact (the destination is too short for the groups of the format)";
}

std::string DescribeES(uint32_t w) {
    std::string s = "replaces the seven digits, recomputes the check letter";
    if (w & 0x02) return s + "; compact";
    if (w & 0x04) return s + "; \"-\" between the groups (where the destination holds them)";
    if (w & 0x10) return s + "; blanks between the groups (where the destination holds them)";
    return s + "; each value keeps its own layout";
}

std::string DescribeIT(uint32_t w) {
    std::string parts = Bits(w, {{0x01, "name codes"}, {0x02, "birth date"}, {0x04, "commune code"}});
    std::string s = "replaces " + (parts.empty() ? "" : parts + " and ") + "the control character";
    if (w & 0x20) return s + "; 16 characters, compact";
    if (w & 0x08) return s + "; blanks between the groups (destination of 19 or more)";
    if (w & 0x10) return s + "; hyphens between the groups (destination of 19 or more)";
    return s + "; each value keeps its own layout";
}

struct COUNTRYINFO {
    uint16_t bit;
    uint16_t keyword;             /* KW_FR... */
    const char* name;
    uint32_t acceptedBits;        /* bits that only an accepted format sets */
    std::string (*describe)(uint32_t);
};
const COUNTRYINFO kCountryInfo[] = {
    {COUNTRY_FR, KW_FR, "France", 0x100, DescribeFR},
    {COUNTRY_UK, KW_UK, "United Kingdom", 0x100, DescribeUK},
    {COUNTRY_ES, KW_ES, "Spain", 0x16, DescribeES},
    {COUNTRY_IT, KW_IT, "Italy", 0x38, DescribeIT},
};

const COUNTRYINFO* InfoOf(uint16_t bit) {
    for (const COUNTRYINFO& k : kCountryInfo)
        if (k.bit == bit) return &k;
    return nullptr;
}

/* What the analysis of a column map found, besides the text it writes. */
struct FINDINGS {
    std::vector<std::string> dropped;  /* pairs the parser dropped */
    std::vector<std::string> defaults; /* formats given but replaced by the default */
    std::vector<std::string> notInit;  /* countries that did not initialise, and why */
};

/* Initialises each country again on the set-up's state and shows what it chose. */
void ShowCountries(CALL* c, RBPDATA* rbp, std::ostream& out, FINDINGS* found) {
    out << "countries (initialised in this order):\n";
    for (const COUNTRYROUTINES& k : c->countries->Country) {
        const COUNTRYINFO* info = InfoOf(k.Bit);
        c->msg[0] = 0;
        rbp->pMsgBuf = c->msg;
        uint32_t* word = CountryWorkArea(c->wa, k.Bit);
        int32_t rc = k.Init(rbp, word);
        out << "  " << info->name << ": ";
        if (rc != 0) {
            out << "not initialised (result " << Hex(uint32_t(rc)) << "): its rows are skipped\n";
            found->notInit.push_back(std::string(info->name) + ": not initialised (result " + Hex(uint32_t(rc)) + ")" +
                                     (c->msg[0] ? ": " + Message(c->msg) : ""));
        } else {
            const char16_t* desc = nullptr;
            int f = GetCountryFormat(info->keyword, rbp->pOperands, &desc);
            if (f == 0) {
                bool accepted = *word & info->acceptedBits;
                out << "format \"" << U8(desc, WStrLen(desc)) << "\" "
                    << (accepted ? "accepted" : "not accepted, the default applies");
                if (!accepted)
                    found->defaults.push_back(std::string(info->name) + ": the format \"" + U8(desc, WStrLen(desc)) +
                                              "\" is not accepted, the default applies");
            } else if (f == FMT_NOT_A_LIST) {
                out << "format operand is not a country list (or its entry is a list): the default applies";
                found->defaults.push_back(std::string(info->name) +
                                          ": the format operand is not a country list, the default applies");
            } else {
                out << "no format given: the default applies";
            }
            out << "\n    work area " << Hex(*word) << ": " << info->describe(*word) << "\n";
        }
        if (c->msg[0]) out << "    message: " << Message(c->msg) << "\n";
    }
}

const BITNAME kModeBits[] = {{MODE_MASK, "MASK"},     {MODE_DEBUG, "DEBUG"},      {MODE_STATUS, "STATUS"},
                             {MODE_RANDOM, "RANDOM"}, {MODE_VALIDATE, "VALIDATE"}};

/* Logging of the exit's internals during an analysis goes nowhere: the set-up logs
** the countries that fail to initialise when debug or status is on, and the real run
** logs them again.  The log folder is named afresh at every line. */
class LogSwitchedOff {
public:
    LogSwitchedOff() {
        const char* v = std::getenv("ZTNID_DRIVE_C");
        had_ = v != nullptr;
        if (had_) old_ = v;
        setenv("ZTNID_DRIVE_C", "/dev/null", 1); /* /dev/null/ZTMSG.TXT cannot be opened */
    }
    ~LogSwitchedOff() {
        if (had_)
            setenv("ZTNID_DRIVE_C", old_.c_str(), 1);
        else
            unsetenv("ZTNID_DRIVE_C");
    }

private:
    bool had_;
    std::string old_;
};

/* Runs the exit's own set-up on a column map and explains it to out; returns the
** set-up's result (0 or 2), with its whole message in *message. */
int16_t Analyse(const std::u16string& text, hostemu::ColumnMap& m, std::ostream& out, FINDINGS* found,
                std::string* message) {
    LogSwitchedOff quiet;
    /* A call of the entry point with its buffers, held here for the set-up alone. */
    struct CallWithBuffers {
        CALL call;
        char16_t msg[MSG_BUF_CHARS], value[VALUE_BUF_CHARS], out[OUT_BUF_CHARS];
    };
    auto held = std::make_unique<CallWithBuffers>();
    CALL* c = &held->call;
    c->msg = held->msg;
    c->value = held->value;
    c->out = held->out;
    c->ip = &m.inputParms();
    c->srcList = m.sourceList();
    c->destList = m.destList();
    c->wa = &m.workArea();
    c->countries = &kCountries;
    c->msg[0] = 0;
    int16_t rc = SetUpColumn(c);
    RBPDATA* rbp = c->wa->pRBPDATA;

    out << "pairs:\n";
    if (rbp && rbp->pOperands) {
        ShowLevel(text, rbp->pOperands, 0, out, &found->dropped);
    } else {
        MAP map{};
        ParseOperands(text.c_str(), &map, u',', u'=');
        ShowLevel(text, &map, 0, out, &found->dropped);
        FreeOperands(&map);
    }

    *message = Message(c->msg);
    if (rc == 0)
        out << "set-up: succeeds\n";
    else
        out << "set-up: fails: " << *message << "\n";

    if (rbp) {
        uint16_t flags = rbp->Flags & ~MODE_SETUP_DONE;
        std::string names;
        for (const BITNAME& b : kModeBits)
            if (flags & b.bit) names += (names.empty() ? "" : " ") + std::string(b.name);
        out << "mode bits: " << Hex(flags) << (names.empty() ? "" : " " + names) << "\n";
        MAPENTRY* sw = nullptr;
        if (rbp->pOperands && FindOperand(KW_SWITCH, rbp->pOperands, &sw) == OPS_OK && PlainValue(sw)) {
            const char16_t* v = PlainValue(sw);
            if (v[0] == u'"')
                out << "switch: every row is of country \"" << U8(v + 1, WStrNLen(v + 1, 2)) << "\"\n";
            else
                out << "switch: the country of each row is read from column " << U8(v, WStrLen(v))
                    << (FindColumn(v, WStrLen(v), c->srcList) ? "" : ", which is not a source column")
                    << " (ztnid mask stops when the source has no such column)\n";
        }
        if (rbp->pOperands && rbp->pDestCol && (rbp->pSrcCol || (rbp->Flags & MODE_RANDOM)))
            ShowCountries(c, rbp, out, found);
    }
    ReleaseColumn(c->wa); /* without the end call: no log file */
    return rc;
}

/* The column the switch operand names, or "" for a literal country (or none). */
std::string SwitchColumn(const std::u16string& text) {
    MAP map{};
    MAPENTRY* sw = nullptr;
    std::string name;
    ParseOperands(text.c_str(), &map, u',', u'=');
    if (FindOperand(KW_SWITCH, &map, &sw) == OPS_OK && PlainValue(sw) && PlainValue(sw)[0] != u'"')
        name = U8(PlainValue(sw), WStrLen(PlainValue(sw)));
    FreeOperands(&map);
    return name;
}

} // namespace

int Explain(const std::string& operands, ColumnType srcType, ColumnType destType, std::ostream& out) {
    std::u16string text = Utf8ToUtf16(operands);
    out << "operand string: " << operands << "\n";

    /* The columns: the destination NID, the source the parsed operands name (or NID),
    ** and the switch column a real source must hold. */
    std::u16string srcName = u"NID";
    {
        MAP probe{};
        MAPENTRY* src = nullptr;
        ParseOperands(text.c_str(), &probe, u',', u'=');
        if (FindOperand(KW_SOURCE, &probe, &src) == OPS_OK && PlainValue(src)) {
            srcName = PlainValue(src);
            if (srcName.size() >= 2 && srcName[0] == u'"') srcName = srcName.substr(1, srcName.size() - 2);
        }
        FreeOperands(&probe);
    }
    std::vector<hostemu::Column> sources{{u"NID", srcType.code, srcType.length, true}};
    if (srcName != u"NID") sources.push_back({srcName, srcType.code, srcType.length, true});
    std::u16string sw = Utf8ToUtf16(SwitchColumn(text));
    if (!sw.empty() && !NamesEqual(U8(sw), "NID") && !NamesEqual(U8(sw), U8(srcName)))
        sources.push_back({sw, TYPE_VARCHAR, 2, true});
    hostemu::ColumnMap m(&KLOColMapWExit, text, sources, {{u"NID", destType.code, destType.length, true}});
    out << "columns: source " << U8(sources[srcName != u"NID" ? 1 : 0].name) << " " << TypeText(srcType)
        << ", destination NID " << TypeText(destType) << "\n";
    FINDINGS found;
    std::string message;
    return Analyse(text, m, out, &found, &message) == 0 ? 0 : 2;
}

MapCheck CheckColumnMap(const std::string& operands, const std::vector<hostemu::Column>& sources,
                        const std::vector<hostemu::Column>& dests, int destIndex) {
    std::u16string text = Utf8ToUtf16(operands);
    hostemu::ColumnMap m(&KLOColMapWExit, text, sources, dests, destIndex);
    std::ostringstream ignored;
    FINDINGS found;
    MapCheck r;
    r.setUpFails = Analyse(text, m, ignored, &found, &r.message) != 0;
    r.countries = found.notInit;
    r.warnings = found.dropped;
    r.warnings.insert(r.warnings.end(), found.defaults.begin(), found.defaults.end());
    std::string sw = SwitchColumn(text);
    if (!r.setUpFails && !sw.empty()) {
        std::u16string name = Utf8ToUtf16(sw);
        if (!FindColumn(name.c_str(), name.size(), m.sourceList())) {
            r.setUpFails = true;
            r.message = "the switch operand names the column " + sw + ", which is not a column of the source";
        }
    }
    return r;
}

} // namespace ztnid
