/*
** exit_lib.h - which exit library ztnid loads, and what `ztnid --version` shows of it.
*/
#ifndef ZTNID_EXIT_LIB_H
#define ZTNID_EXIT_LIB_H

#include <ostream>
#include <string>

namespace ztnid {

/* The exit to load: `given` (--exit) when set, else $ZT0NID_LIBRARY, else libZT0NID.so
** beside ztnid (the build folder), else the installed library relative to ztnid, else
** the library's soname for the dynamic loader to find. */
std::string ChooseExitPath(const std::string& given);

/* Prints ztnid's version, the exit library it loads and the exit's answer to one trial
** row.  Returns 0, or 2 when the exit cannot be loaded or fails the trial. */
int PrintVersion(const std::string& exitPath, std::ostream& out);

} // namespace ztnid

#endif
