/*
** explain.h - `ztnid explain`: what the exit makes of an operand string.
**
** The only part of ztnid that links the exit's internals: it parses the operand string
** with the exit's own parser and runs the exit's own set-up and country initialisations
** on a column of the given types, then shows the keyword map, the dropped pairs, the
** mode bits and, per country, the format chosen or the default that applies.
*/
#ifndef ZTNID_EXPLAIN_H
#define ZTNID_EXPLAIN_H

#include <ostream>
#include <string>
#include <vector>

#include "host/emul/host_emul.h"
#include "host/ztnid/columns.h"

namespace ztnid {

/* Writes the explanation; returns 0 when the set-up succeeds, 2 when it fails. */
int Explain(const std::string& operands, ColumnType srcType, ColumnType destType, std::ostream& out);

/* What the exit's set-up makes of one column map of a run, on the run's own column
** lists, before any row. */
struct MapCheck {
    bool setUpFails = false;
    std::string message;                /* the whole message of a failed set-up */
    std::vector<std::string> countries; /* the countries not initialised, and why */
    std::vector<std::string> warnings;  /* pairs dropped, formats replaced by the default */
};
MapCheck CheckColumnMap(const std::string& operands, const std::vector<hostemu::Column>& sources,
                        const std::vector<hostemu::Column>& dests, int destIndex);

} // namespace ztnid

#endif
