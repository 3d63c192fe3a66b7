/*
** keyed_column.h - keyed masking in ztnid: `--keyed DEST[=SCOPE]` masks the mapped column
** DEST with a secret key instead of the exit, and `ztnid unmask` reverses every mapped
** column with the key.  The key comes from `--key-file FILE` or `--key-env NAME` (hex or
** base64), never from the command line or the operands.
**
** A keyed column is run like any column map: the function called for its rows is ztnid's
** own, speaking the exit's protocol (work area, callbacks, results and counters), so the
** threads, the skip policy, --dry-run and the summary treat it as any other.  Its operand
** string is read for switch, source and format, as the exit reads them.
*/
#ifndef ZTNID_KEYED_COLUMN_H
#define ZTNID_KEYED_COLUMN_H

#include <string>
#include <vector>

#include "exit/host_records.h"
#include "host/ztnid/columns.h"

namespace ztnid {

struct KeyedArgs {
    std::vector<std::string> columns;  /* --keyed DEST[=SCOPE] */
    std::string keyFile, keyEnv;
};

/* Marks the keyed maps (every map for unmask), reads the key and opens a masker for each
** once, so that a missing, short or malformed key or a format the country does not accept
** stops the run before any row.  Throws UsageError.  The key stays in memory until
** ForgetKey. */
void PrepareKeyed(const KeyedArgs& args, bool unmask, std::vector<MapSpec>& maps);

/* Wipes the key. */
void ForgetKey();

/* The function called for the rows of a keyed map, with the exit's signature. */
PFN_KLOCOLMAPWEXIT KeyedExit();

} // namespace ztnid

#endif
