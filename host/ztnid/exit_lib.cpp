/*
** exit_lib.cpp - finding the exit library, and `ztnid --version`.
**
** The build defines ZTNID_VERSION, ZTNID_EXIT_SONAME (libZT0NID.so.1) and
** ZTNID_LIBDIR_FROM_BINDIR (where the library is installed, relative to ztnid).
*/
#include "host/ztnid/exit_lib.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"

namespace ztnid {

namespace {

/* The folder of the running program, with its trailing slash ("" when unknown). */
std::string ProgramFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string self(path, size_t(n));
    return self.substr(0, self.rfind('/') + 1);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

/* The names of the countries whose bits are set in `init`. */
std::string CountryNames(uint16_t init) {
    static const struct { uint16_t bit; const char* name; } kCountries[] = {
        {COUNTRY_FR, "FR"}, {COUNTRY_IT, "IT"}, {COUNTRY_ES, "ES"}, {COUNTRY_UK, "UK"}};
    std::string names;
    for (const auto& c : kCountries)
        if (init & c.bit) names += std::string(names.empty() ? "" : " ") + c.name;
    return names.empty() ? "none" : names;
}

} // namespace

std::string ChooseExitPath(const std::string& given) {
    if (!given.empty()) return given;
    const char* env = std::getenv("ZT0NID_LIBRARY");
    if (env && *env) return env;
    std::string folder = ProgramFolder();
    if (!folder.empty()) {
        if (Exists(folder + "libZT0NID.so")) return folder + "libZT0NID.so";
        std::string installed = folder + ZTNID_LIBDIR_FROM_BINDIR "/" ZTNID_EXIT_SONAME;
        if (Exists(installed)) return installed;
    }
    return ZTNID_EXIT_SONAME;
}

int PrintVersion(const std::string& exitPath, std::ostream& out) {
    out << "ztnid " ZTNID_VERSION "\n";
    std::string why;
    PFN_KLOCOLMAPWEXIT exitFn = hostemu::LoadExit(exitPath, &why);
    if (!exitFn) {
        out << "exit: cannot load " << exitPath << ": " << why << "\n";
        return 2;
    }
    Dl_info info{};
    char real[PATH_MAX];
    std::string file = dladdr(reinterpret_cast<void*>(exitFn), &info) && info.dli_fname ? info.dli_fname : exitPath;
    if (realpath(file.c_str(), real)) file = real;
    out << "exit: " << file << " (loaded as " << exitPath << ")\n";

    /* One row of each kind a host sends: the set-up reports which countries initialise,
    ** the row what the exit puts, the end call releases the column. */
    hostemu::ColumnMap map(exitFn, u"switch=CTRY", {{u"NID", 2, 20}, {u"CTRY", 2, 3}}, {{u"NID", 2, 20}});
    const std::u16string value = u"185057511234529";
    map.set(u"CTRY", u"FR");
    map.set(u"NID", value);
    hostemu::RowOutcome r = map.row();
    uint16_t init = map.workArea().CountriesInit;
    map.end();
    out << "exit answers a trial row: result " << r.rc << ", countries initialised: " << CountryNames(init);
    if (r.rc == EXIT_DONE) out << ", FR " << Utf16ToUtf8(value) << " -> " << Utf16ToUtf8(r.put);
    if (r.rc == EXIT_ERROR) out << ", message: " << Utf16ToUtf8(r.msgText);
    out << "\n";
    return r.rc == EXIT_DONE ? 0 : 2;
}

} // namespace ztnid
