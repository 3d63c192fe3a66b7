/*
** host_test.cpp - a Windows host of the real ZT0NID.dll.
**
** The DLL is loaded the way a Windows host loads it (LoadLibraryW, GetProcAddress) and
** driven through the packed records and callbacks of the host emulation; this program
** does not link the exit itself.  Checked here: the DLL's export and import tables as
** loaded, rows masked by each country, and the log file C:\ZTMSG.TXT (UTF-8, CRLF).
*/
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

PFN_KLOCOLMAPWEXIT ExitFn() {
    HMODULE m = LoadExitDll();
    if (!m) return nullptr;
    return reinterpret_cast<PFN_KLOCOLMAPWEXIT>(reinterpret_cast<void*>(GetProcAddress(m, "KLOColMapWExit")));
}

const IMAGE_NT_HEADERS64* NtHeaders(HMODULE m) {
    auto base = reinterpret_cast<const uint8_t*>(m);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
}

/* Names exported by the loaded module. */
std::vector<std::string> ExportedNames(HMODULE m) {
    auto base = reinterpret_cast<const uint8_t*>(m);
    const IMAGE_DATA_DIRECTORY& d = NtHeaders(m)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (d.Size == 0) return names;
    auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + d.VirtualAddress);
    auto rvas = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + rvas[i]));
    return names;
}

/* DLLs the loaded module imports from, upper-cased. */
std::vector<std::string> ImportedDlls(HMODULE m) {
    auto base = reinterpret_cast<const uint8_t*>(m);
    const IMAGE_DATA_DIRECTORY& d = NtHeaders(m)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    if (d.Size == 0) return dlls;
    for (auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + d.VirtualAddress); imp->Name; ++imp) {
        std::string name = reinterpret_cast<const char*>(base + imp->Name);
        for (char& c : name) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
        dlls.push_back(name);
    }
    return dlls;
}

/* "MM/DD/YY HH:MM" of a local time. */
std::string Stamp(const SYSTEMTIME& t) {
    char s[32];
    std::snprintf(s, sizeof s, "%02u/%02u/%02u %02u:%02u", t.wMonth, t.wDay, t.wYear % 100u, t.wHour, t.wMinute);
    return s;
}

/* Source column NID, destination NID of the declared length. */
std::vector<hostemu::Column> Cols(int32_t length = 20) { return {{u"NID", 1, length}}; }

class WindowsHost : public ::testing::Test {
protected:
    void SetUp() override {
        exit_ = ExitFn();
        ASSERT_NE(exit_, nullptr) << "ZT0NID.dll not loaded or KLOColMapWExit not exported";
    }
    PFN_KLOCOLMAPWEXIT exit_ = nullptr;
};

TEST_F(WindowsHost, DllExportsOnlyTheEntryAndImportsOnlySystemDlls) {
    HMODULE m = LoadExitDll();
    EXPECT_EQ(ExportedNames(m), std::vector<std::string>{"KLOColMapWExit"});
    for (const std::string& dll : ImportedDlls(m))
        EXPECT_TRUE(dll == "KERNEL32.DLL" || dll == "MSVCRT.DLL") << "imports " << dll;
}

/* One worked value per country, through the DLL with the mask method. */
struct CountryRow {
    const char* name;
    const char16_t* operands;
    int32_t destLength;
    const char16_t* source;
    const char16_t* masked;
};

const CountryRow kRows[] = {
    {"FR", u"switch=\"FR", 15, u"185057511234529", u"283027511108627"},
    {"UK", u"switch=\"UK", 11, u"JK123456D", u"JK035776D"},
    {"ES", u"switch=\"ES,validate=y", 11, u"1234567L", u"2044628C"},
    {"IT", u"switch=\"IT", 19, u"BNCLCU80A01D612U", u"BNCLCU05R20I590Y"},
};

TEST_F(WindowsHost, MasksEachCountryAsOnLinux) {
    for (const CountryRow& c : kRows) {
        SCOPED_TRACE(c.name);
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

TEST_F(WindowsHost, EndCallAloneCreatesTheLogFile) {
    testlog::LogFile log;
    ASSERT_FALSE(log.exists());
    hostemu::ColumnMap m(exit_, u"switch=\"ES", Cols(), Cols());
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(log.exists());
    /* Nothing but what the runtime's UTF-8 text mode puts at the start of a new file. */
    std::string raw = log.raw();
    EXPECT_TRUE(raw.empty() || raw == "\xEF\xBB\xBF") << raw.size() << " bytes";
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
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
        }
    }

    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string text = " -ZTNID : " + Utf16ToUtf8(msg);
    EXPECT_TRUE(lines[0] == Stamp(before) + text || lines[0] == Stamp(after) + text) << lines[0];
    EXPECT_NE(bytes.find("Pr\xC3\xA9nom\xE5\x90\x8D\xF0\x9D\x84\x9E"), std::string::npos);

    /* The column was partly set up with status on: the end call reports it. */
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.texts().back(), "ZTNID : No row errors detected processing column NID");
}

TEST_F(WindowsHost, NothingLoggedWithoutDebugOrStatus) {
    testlog::LogFile log;
    hostemu::ColumnMap m(exit_, u"switch=\"ES,source=MISSING", Cols(), Cols());
    EXPECT_EQ(m.row().rc, 2);
    EXPECT_EQ(m.row().rc, 2);
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(log.exists());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(WindowsHost, SkippedRowsAndEndReportAreLoggedWithDebug) {
    testlog::LogFile log;
    hostemu::ColumnMap m(exit_, u"switch=\"UK,debug=y", Cols(), Cols());
    m.set(u"NID", u"JK123456E");
    EXPECT_EQ(m.row().rc, 1);
    m.set(u"NID", u"JK123456D");
    EXPECT_EQ(m.row().rc, 0);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.texts(), (std::vector<std::string>{
                               "ZTNID : NID ERROR 0x102:Invalid Suffix",
                               "ZTNID : Non-zero error counts for column NID",
                               "ZTNID : Invalid source data part:           1",
                           }));
}

} // namespace
