/*
** sql_keyed.h - keyed masking as an SQL function sees it: value, country, key, operands
** and scope in; the result, NULL or an error out.
**
** A KeyedSite belongs to one place that calls a function, like a CallSite.  It keeps the
** maskers it opened (one per key, operand string and scope, the most recently used few),
** each with a copy of its key that is wiped when the masker is dropped.  Only the format
** list of the operands is read.  Nothing here throws; text in and out is UTF-8, the key is
** raw bytes (16, 24 or 32).
*/
#ifndef ZT0NID_SQL_KEYED_H
#define ZT0NID_SQL_KEYED_H

#include "sql/common/sql_host.h"

namespace sqlhost {

struct KeyedSite;

/* A new site; NULL when memory is exhausted. */
KeyedSite* NewKeyedSite() noexcept;

/* Closes the site's maskers, wipes their keys and frees the site (NULL is allowed). */
void FreeKeyedSite(KeyedSite* site) noexcept;

/* Masks (unmask false) or reverses one value: the result, the value itself when it is
** blank, NULL when the country is not masked or the value is refused (as the exit with
** validate=y refuses it), an error for a key, scope or format that cannot be used. */
Answer RunKeyed(KeyedSite* site, bool unmask, Text value, Text country, Text key, Text operands, Text scope) noexcept;

} // namespace sqlhost

#endif
