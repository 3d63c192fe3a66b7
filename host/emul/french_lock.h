/*
** french_lock.h - French rows one at a time.
**
** The exit's French routines share one scratch buffer per copy of the exit, so no two
** French rows may be inside the same copy at once.  Every in-process host (ztnid's
** threads, the SQL functions, keyed masking) holds this lock around a row that may be
** French; rows of the other countries run side by side.  The lock belongs to the image it
** is linked into, as the buffer does: a library that links the exit and this file has one
** of each.
*/
#ifndef ZT0NID_HOST_FRENCH_LOCK_H
#define ZT0NID_HOST_FRENCH_LOCK_H

#include <cstddef>
#include <string_view>

namespace hostemu {

/* True unless the country code surely is not FR: the exit compares the first two
** characters ignoring case; anything outside ASCII counts as maybe. */
bool MayBeFrench(std::string_view code);

/* Whether the rows of a column map may be French, from its switch operand. */
struct FrenchGuard {
    enum Kind { NEVER, ALWAYS, BY_COLUMN } kind = ALWAYS;
    size_t column = 0; /* BY_COLUMN: the source column holding the country; a row locks
                       ** unless that column is NULL or MayBeFrench says no */
};

enum : size_t { NO_COLUMN = size_t(-1) };

/* The guard of a column map whose switch operand is sw as written ("" when there is
** none) and names the source column `column` (NO_COLUMN when it names none): a quoted
** code decides once, a column decides per row, anything else locks every row. */
FrenchGuard GuardOf(std::string_view sw, size_t column);

/* Holds the lock while in scope when the row may be French. */
class FrenchRowLock {
public:
    explicit FrenchRowLock(bool mayBeFrench);
    ~FrenchRowLock();
    FrenchRowLock(const FrenchRowLock&) = delete;
    FrenchRowLock& operator=(const FrenchRowLock&) = delete;

private:
    bool held_;
};

} // namespace hostemu

#endif
