/*
** sql_host.h - the exit as an SQL function sees it: one row in, a value, NULL or an
** error out.
**
** A CallSite belongs to one place that calls a function (a PostgreSQL expression, an
** SQLite connection).  It keeps one column map per operand string, each driven through
** the exit linked into the extension exactly as a host drives it:
**
**   source list   NID  VARCHAR(255) nullable    the value argument
**                 CTRY VARCHAR(255) nullable    the country argument (the switch column)
**   destination   NID  VARCHAR(255) nullable
**   operands      switch=CTRY[,method=random],<the caller's operands>
**
** Nothing here throws: every entry point catches what it must and answers a status.
** Text in and out is UTF-8.
*/
#ifndef ZT0NID_SQL_HOST_H
#define ZT0NID_SQL_HOST_H

#include <cstddef>

namespace sqlhost {

/* What a function makes of the exit's answer. */
enum Method {
    METHOD_MASK,    /* the value put; NULL when the row is skipped */
    METHOD_CHECK,   /* NULL when the row would be written, else the reason for the skip */
    METHOD_RANDOM   /* like mask, with method=random */
};

enum Status {
    ANSWER_VALUE,     /* text holds the result */
    ANSWER_NULL,      /* the result is NULL */
    ANSWER_ERROR,     /* text holds the message (bad operands, set-up failure) */
    ANSWER_NO_MEMORY
};

/* An argument: UTF-8 bytes, or SQL NULL. */
struct Text {
    const char* data = nullptr;
    size_t size = 0;
    bool isNull = true;
};

/* A result; text stays valid until the next call on the same call site. */
struct Answer {
    Status status = ANSWER_NULL;
    const char* text = "";
    size_t size = 0;
};

/* Declared length of the source and destination columns the exit sees. */
enum { COLUMN_LENGTH = 255 };

struct CallSite;

/* A new call site; NULL when memory is exhausted. */
CallSite* NewCallSite(Method method) noexcept;

/* Makes the end call of every column map and frees the call site (NULL is allowed). */
void FreeCallSite(CallSite* site) noexcept;

/* Runs one row: value (unused by random), country and the caller's operands (NULL
** stands for none). */
Answer RunRow(CallSite* site, Text value, Text country, Text operands) noexcept;

} // namespace sqlhost

#endif
