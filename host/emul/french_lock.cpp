/*
** french_lock.cpp - the process-wide (image-wide) lock of French rows.
*/
#include "host/emul/french_lock.h"

#include <mutex>

namespace hostemu {

namespace {
std::mutex g_frenchRows;
}

bool MayBeFrench(std::string_view code) {
    if (code.size() < 2) return false;
    auto c0 = static_cast<unsigned char>(code[0]), c1 = static_cast<unsigned char>(code[1]);
    if (c0 >= 0x80 || c1 >= 0x80) return true;
    return (c0 | 0x20) == 'f' && (c1 | 0x20) == 'r';
}

FrenchGuard GuardOf(std::string_view sw, size_t column) {
    FrenchGuard g;
    if (sw.empty()) return g;
    if (sw[0] == '"') {
        g.kind = MayBeFrench(sw.substr(1)) ? FrenchGuard::ALWAYS : FrenchGuard::NEVER;
        return g;
    }
    if (column != NO_COLUMN) {
        g.kind = FrenchGuard::BY_COLUMN;
        g.column = column;
    }
    return g;
}

FrenchRowLock::FrenchRowLock(bool mayBeFrench) : held_(mayBeFrench) {
    if (held_) g_frenchRows.lock();
}

FrenchRowLock::~FrenchRowLock() {
    if (held_) g_frenchRows.unlock();
}

} // namespace hostemu
