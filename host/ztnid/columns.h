/*
** columns.h - host data types and the column map specs of the command line.
**
** A column is declared to the exit with a host data type and a length.  The exit takes
** six string types, named here:
**
**   CHAR      1   fixed length, length in characters
**   VARCHAR   2   varying length, length in characters
**   NCHAR    30   fixed length, length in characters
**   NVARCHAR 31   varying length, length in characters
**   WCHAR    32   fixed length, length in bytes (two per 16-bit character)
**   WVARCHAR 33   varying length, length in bytes (two per 16-bit character)
**
** "Fixed" and "varying" matter to the exit only for a blank source: it writes blanks to a
** fixed-length destination and an empty string to a varying one.  ztnid stores values as
** they are; it neither pads nor trims.  Any other numeric code is passed as given.
*/
#ifndef ZTNID_COLUMNS_H
#define ZTNID_COLUMNS_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ztnid {

/* A wrong command line or column map: reported with status 2. */
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum { DEFAULT_LENGTH = 255, TYPE_VARCHAR = 2 };

/* The host data type and declared length of a column. */
struct ColumnType {
    int16_t code = TYPE_VARCHAR;
    int32_t length = DEFAULT_LENGTH;
};

/* The readable name of a type code, or "" for a code without one. */
const char* TypeCodeName(int16_t code);

/* "VARCHAR(20)", or "5(20)" for a code without a name. */
std::string TypeText(ColumnType t);

/* Most 16-bit characters a value of the type can hold. */
int32_t CapacityUnits(ColumnType t);

/* Parses "NAME[(LENGTH)]" or "CODE[(LENGTH)]"; the length defaults to defaultLength.
** Throws UsageError. */
ColumnType ParseType(std::string_view text, int32_t defaultLength);

/* The type of an SQLite declared type: a type name above keeps its code, anything else
** (TEXT, INTEGER, none...) is VARCHAR; the length is the one in parentheses or 255. */
ColumnType TypeOfDeclared(std::string_view declared);

/* One --map: the destination column, its type when given, and the operand string. */
struct MapSpec {
    std::string dest;
    bool typeGiven = false;
    ColumnType type;
    std::string operands;
    bool keyed = false;           /* masked with the key, not the exit (keyed_column.h) */
};

/* Parses "DEST[:TYPE(LENGTH)]=OPERANDS".  Throws UsageError. */
MapSpec ParseMapSpec(std::string_view text);

/* One --source-type: "COLUMN:TYPE(LENGTH)".  Throws UsageError. */
struct SourceTypeSpec {
    std::string column;
    ColumnType type;
};
SourceTypeSpec ParseSourceTypeSpec(std::string_view text);

/* True when the names are equal ignoring ASCII case, as the exit compares them. */
bool NamesEqual(std::string_view a, std::string_view b);

/* The column the exit reads for an operand string: the plain value of source (or src),
** without the quotes of a quoted name, or "" when the operands name none. */
std::string SourceOperand(std::string_view operands);

/* The plain value of the switch operand, quotes kept, or "" when there is none. */
std::string SwitchOperand(std::string_view operands);

/* The column the switch operand names, or "" for a quoted country code (or none). */
std::string SwitchColumnOperand(std::string_view operands);

} // namespace ztnid

#endif
