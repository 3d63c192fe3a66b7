/*
** platform_windows.cpp - the platform services on Windows (the DLL the host loads).
**
** The build defines _CRT_RAND_S so that <stdlib.h> declares rand_s.  The log file is
** C:\ZTMSG.TXT, opened in the runtime's UTF-8 text mode: the runtime converts our
** 16-bit text to UTF-8 and "\n" to CRLF.  The line itself is formatted by the exit's own
** formatter, as on every platform; the runtime's wide printf family is not used.
*/
#include "platform/platform.h"

#ifndef _CRT_RAND_S
#error "_CRT_RAND_S must be defined by the build, before any header"
#endif

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows strings are 16-bit");

/* The DLL entry: the exit keeps no per-thread state, so thread attach and detach
** notifications are switched off.  With a static thread-local storage runtime the call
** may fail; that costs nothing, so its result is ignored. */
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}

uint32_t PlatformRandom32() {
    /* The runtime's secure generator; its failure is not looked at (v stays 0). */
    unsigned int v = 0;
    rand_s(&v);
    return v;
}

void PlatformLocalTime(PlatformTime* t) {
    time_t now = time(nullptr);
    struct tm tmv;
    memset(&tmv, 0, sizeof tmv);
    localtime_s(&tmv, &now);
    t->year = tmv.tm_year + 1900;
    t->month = tmv.tm_mon + 1;
    t->day = tmv.tm_mday;
    t->hour = tmv.tm_hour;
    t->minute = tmv.tm_min;
}

int PlatformAppendLog(const char16_t* line) {
    FILE* f = _wfopen(L"C:\\ZTMSG.TXT", L"a, ccs=UTF-8");
    if (!f) return 8;
    if (line) fputws(reinterpret_cast<const wchar_t*>(line), f);
    fclose(f);
    return 0;
}
