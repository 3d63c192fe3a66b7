/*
** host_test.cpp - a Windows host of the real ZT0NID.dll, loaded as a Windows host loads it
** (LoadLibraryW, GetProcAddress) and driven through the host emulation's records and
** callbacks: its export and import tables, rows of each country, and the log file
** C:\ZTMSG.TXT (UTF-8, CRLF).
*/
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "support/log_file.h"

namespace {

/* The DLL named by ZT0NID_LIBRARY (set by ctest), else ZT0NID.dll on the search path. */
HMODULE LoadExitDll() {
    static HMODULE module = [] {
        const wchar_t* path = _wgetenv(L"ZT0NID_LIBRARY");
        return LoadLibraryW(path && *path ? path : L"ZT0NID.dll");
    }();
    return module;
}

/* A data directory of the loaded module; NULL when it is empty. */
template <class T>
const T* Directory(HMODULE m, int index) {
    auto base = reinterpret_cast<const char*>(m);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& d = nt->OptionalHeader.DataDirectory[index];
    return d.Size ? reinterpret_cast<const T*>(base + d.VirtualAddress) : nullptr;
}

/* "MM/DD/YY HH:MM" of a local time. */
std::string Stamp(const SYSTEMTIME& t) {
    char s[32];
    std::snprintf(s, sizeof s, "%02u/%02u/%02u %02u:%02u", t.wMonth, t.wDay, t.wYear % 100u,
                  t.wHour, t.wMinute);
    return s;
}

/* Source column NID, destination NID of the declared length. */
std::vector<hostemu::Column> Cols(int32_t length = 20) { return {{u"NID", 1, length}}; }

class WindowsHost : public ::testing::Test {
protected:
    void SetUp() override {
        HMODULE m = LoadExitDll();
        if (m) exit_ = reinterpret_cast<PFN_KLOCOLMAPWEXIT>(
                   reinterpret_cast<void*>(GetProcAddress(m, "KLOColMapWExit")));
        ASSERT_NE(exit_, nullptr) << "ZT0NID.dll not loaded or KLOColMapWExit not exported";
    }
    PFN_KLOCOLMAPWEXIT exit_ = nullptr;
};

TEST_F(WindowsHost, DllExportsOnlyTheEntryAndImportsOnlySystemDlls) {
    HMODULE m = LoadExitDll();
    auto base = reinterpret_cast<const char*>(m);
    std::vector<std::string> names;
    if (auto dir = Directory<IMAGE_EXPORT_DIRECTORY>(m, IMAGE_DIRECTORY_ENTRY_EXPORT)) {
        auto rvas = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
        for (DWORD i = 0; i < dir->NumberOfNames; ++i) names.emplace_back(base + rvas[i]);
    }
    EXPECT_EQ(names, std::vector<std::string>{"KLOColMapWExit"});
    auto imp = Directory<IMAGE_IMPORT_DESCRIPTOR>(m, IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (; imp && imp->Name; ++imp) {
        std::string dll = base + imp->Name;
        for (char& c : dll) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
        EXPECT_TRUE(dll == "KERNEL32.DLL" || dll == "MSVCRT.DLL") << "imports " << dll;
    }
}

/* One worked value per country, through the DLL with the mask method. */
TEST_F(WindowsHost, MasksEachCountryAsOnLinux) {
    struct { const char16_t* operands; int32_t destLength; const char16_t *source, *masked; }
    rows[] = {
        {u"switch=\"FR", 15, u"185057511234529", u"283027511108627"},
        {u"switch=\"UK", 11, u"JK123456D", u"JK035776D"},
        {u"switch=\"ES,validate=y", 11, u"1234567L", u"2044628C"},
        {u"switch=\"IT", 19, u"BNCLCU80A01D612U", u"BNCLCU05R20I590Y"}};
    for (const auto& c : rows) {
        SCOPED_TRACE(Utf16ToUtf8(c.operands));
        hostemu::ColumnMap m(exit_, c.operands, Cols(), Cols(c.destLength));
        m.set(u"NID", c.source);
        hostemu::RowOutcome first = m.row();
        EXPECT_EQ(first.rc, 0) << Utf16ToUtf8(first.msgText);
        EXPECT_EQ(first.puts, 1);
        EXPECT_EQ(first.put, c.masked);
        hostemu::RowOutcome again = m.row();
        EXPECT_EQ(again.put, c.masked);
        EXPECT_EQ(m.end(), 0);
        EXPECT_EQ(m.workArea().pRBPDATA, nullptr);
    }
}

TEST_F(WindowsHost, RandomMethodDrawsFreshNumbersFromTheRuntime) {
    hostemu::ColumnMap m(exit_, u"switch=\"ES,method=random", Cols(), Cols(11));
    std::vector<std::u16string> seen;
    for (int i = 0; i < 64; ++i) {
        hostemu::RowOutcome r = m.row();
        ASSERT_EQ(r.rc, 0) << Utf16ToUtf8(r.msgText);
        EXPECT_TRUE(r.put.size() == 8 || r.put.size() == 9) << Utf16ToUtf8(r.put);
        seen.push_back(r.put);
    }
    EXPECT_EQ(m.end(), 0);
    std::sort(seen.begin(), seen.end());
    EXPECT_GE(std::unique(seen.begin(), seen.end()) - seen.begin(), 60);
}

TEST_F(WindowsHost, FailedCallIsLoggedInUtf8WithCrlf) {
    testlog::LogFile log;
    /* A source column name outside the BMP and Latin-1 tests the UTF-16 to UTF-8 path;
    ** the failure comes before any country is set up. */
    const std::u16string name = u"Prénom名\U0001D11E";
    hostemu::ColumnMap m(exit_, u"switch=\"ES,status=y,source=" + name, Cols(), Cols());
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    hostemu::RowOutcome r = m.row();
    GetLocalTime(&after);
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.puts, 0);
    const std::u16string msg = u"NID ERROR 0x4: Col " + name + u" not in sourcecol list";
    EXPECT_EQ(r.msgText, msg.substr(0, 50));
    std::string bytes = log.raw();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_TRUE(bytes[i] != '\n' || (i > 0 && bytes[i - 1] == '\r')) << "bare LF at " << i;
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string text = " -ZTNID : " + Utf16ToUtf8(msg);
    EXPECT_TRUE(lines[0] == Stamp(before) + text || lines[0] == Stamp(after) + text) << lines[0];
    EXPECT_NE(bytes.find("Pr\xC3\xA9nom\xE5\x90\x8D\xF0\x9D\x84\x9E"), std::string::npos);
    /* The column was partly set up with status on: the end call reports it. */
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.texts().back(), "ZTNID : No row errors detected processing column NID");
}

/* What a run leaves in the log file: the end call alone creates it (at most the runtime's
** byte order mark in it), nothing is logged without debug or status, and with debug the
** skipped rows and the end report. */
TEST_F(WindowsHost, LogFileOfEachRun) {
    struct Row { const char16_t* value; int16_t rc; };
    struct { const char16_t* operands; std::vector<Row> rows; std::vector<std::string> texts; }
    cases[] = {
        {u"switch=\"ES", {}, {}},
        {u"switch=\"ES,source=MISSING", {{u"1", 2}, {u"2", 2}}, {}},
        {u"switch=\"UK,debug=y", {{u"JK123456E", 1}, {u"JK123456D", 0}},
         {"ZTNID : NID ERROR 0x102:Invalid Suffix", "ZTNID : Non-zero error counts for column NID",
          "ZTNID : Invalid source data part:           1"}}};
    for (const auto& c : cases) {
        testlog::LogFile log;
        ASSERT_FALSE(log.exists());
        hostemu::ColumnMap m(exit_, c.operands, Cols(), Cols());
        for (const Row& r : c.rows) {
            m.set(u"NID", r.value);
            EXPECT_EQ(m.row().rc, r.rc) << Utf16ToUtf8(r.value);
        }
        EXPECT_EQ(m.end(), 0);
        EXPECT_TRUE(log.exists());
        EXPECT_EQ(log.texts(), c.texts) << Utf16ToUtf8(c.operands);
    }
}

} // namespace
