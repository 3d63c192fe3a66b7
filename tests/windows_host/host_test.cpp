/* host_test.cpp - ZT0NID.dll loaded as a Windows host loads it: its export and import
** tables, a row of each country, the log file. */
#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "support/log_file.h"

namespace {

/* The DLL named by ZT0NID_LIBRARY (set by ctest), else ZT0NID.dll on the search path. */
HMODULE LoadExitDll() {
    static const wchar_t* path = _wgetenv(L"ZT0NID_LIBRARY");
    static HMODULE module = LoadLibraryW(path && *path ? path : L"ZT0NID.dll");
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

struct WindowsHost : ::testing::Test {
    void SetUp() override { ASSERT_NE(exit_, nullptr) << "no ZT0NID.dll or KLOColMapWExit"; }
    FARPROC entry_ = LoadExitDll() ? GetProcAddress(LoadExitDll(), "KLOColMapWExit") : nullptr;
    PFN_KLOCOLMAPWEXIT exit_ = reinterpret_cast<PFN_KLOCOLMAPWEXIT>((void*)entry_);
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
    for (const char* dll; imp && imp->Name; ++imp) {
        dll = base + imp->Name;
        EXPECT_TRUE(!_stricmp(dll, "KERNEL32.DLL") || !_stricmp(dll, "MSVCRT.DLL")) << dll;
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
        hostemu::RowOutcome r = m.row();
        EXPECT_EQ(r.rc, 0) << Utf16ToUtf8(r.msgText);
        EXPECT_EQ(r.put, c.masked);
        EXPECT_EQ(m.end(), 0);
    }
}

/* The runtime writes the log in UTF-8 (a name beyond Latin-1 and the BMP) with CRLF. */
TEST_F(WindowsHost, FailedCallIsLoggedInUtf8WithCrlf) {
    testlog::LogFile log;
    const std::u16string name = u"Prénom名\U0001D11E";
    hostemu::ColumnMap m(exit_, u"switch=\"ES,status=y,source=" + name, Cols(), Cols());
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    hostemu::RowOutcome r = m.row();
    GetLocalTime(&after);
    EXPECT_EQ(r.rc, 2);
    const std::u16string msg = u"NID ERROR 0x4: Col " + name + u" not in sourcecol list";
    EXPECT_EQ(r.msgText, msg.substr(0, 50));
    EXPECT_EQ(m.end(), 0); /* status was on: the end call reports */
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string text = " -ZTNID : " + Utf16ToUtf8(msg);
    EXPECT_TRUE(lines[0] == Stamp(before) + text || lines[0] == Stamp(after) + text) << lines[0];
    EXPECT_EQ(lines[1].substr(14), " -ZTNID : No row errors detected processing column NID");
    EXPECT_NE(log.raw().find(lines[0] + "\r\n" + lines[1] + "\r\n"), std::string::npos);
}

} // namespace
