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

#include "host/ztnid/columns.h"

namespace ztnid {

/* Writes the explanation; returns 0 when the set-up succeeds, 2 when it fails. */
int Explain(const std::string& operands, ColumnType srcType, ColumnType destType, std::ostream& out);

} // namespace ztnid

#endif
