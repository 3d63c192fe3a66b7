/*
** platform.h - the few services the exit takes from the operating system.
**
** One implementation per platform: posix/platform_posix.cpp and
** windows/platform_windows.cpp.  Everything else in the exit is shared.
*/
#ifndef ZT0NID_PLATFORM_H
#define ZT0NID_PLATFORM_H

#include <stdint.h>

/* One number from the operating system's secure random generator; no state of ours. */
uint32_t PlatformRandom32();

/* Local wall-clock time, for log timestamps. */
struct PlatformTime {
    int year, month, day, hour, minute;
};
void PlatformLocalTime(PlatformTime* t);

/* Opens the log file for appending, writes line (UTF-16, converted to UTF-8; may be NULL
** to only create the file), closes it.  0 on success, 8 when it cannot be opened.
** Windows: C:\ZTMSG.TXT.  POSIX: $ZTNID_DRIVE_C/ZTMSG.TXT, default directory /tmp. */
int PlatformAppendLog(const char16_t* line);

#endif
