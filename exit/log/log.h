/*
** log.h - message formatting and the log file.
**
** FormatMsg is a printf-style formatter over 16-bit strings, the one formatter of the exit
** on every platform.  It understands the conversions our messages use: %s (a 16-bit
** string), %c, %d, %i, %u, %x, %X with the flags "-", "0", "#", "+", " ", a width, a
** precision and the length modifiers l and ll, plus %%.  It never writes more than the
** buffer holds: longer output is cut to fit and always terminated.
**
** Arguments are checked at compile time: integers (and enums) or 16-bit strings only.
*/
#ifndef ZT0NID_LOG_H
#define ZT0NID_LOG_H

#include <stddef.h>
#include <stdint.h>

#include <type_traits>

#include "exit/host_records.h"

/* One formatter argument. */
struct FmtArg {
    bool isString;
    long long num;
    const char16_t* str;
};

inline FmtArg MakeFmtArg(const char16_t* s) { return FmtArg{true, 0, s}; }
template <class T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
inline FmtArg MakeFmtArg(T v) {
    return FmtArg{false, static_cast<long long>(v), nullptr};
}

/* Formats into buf (cap characters including the terminator); returns the characters
** written, not counting the terminator. */
int FormatArgs(char16_t* buf, size_t cap, const char16_t* fmt, const FmtArg* args, int nargs);

/* Formats into a buffer of cap characters. */
template <class... A>
inline int FormatMsgN(char16_t* buf, size_t cap, const char16_t* fmt, A... a) {
    const FmtArg args[sizeof...(A) + 1] = {MakeFmtArg(a)..., FmtArg{false, 0, nullptr}};
    return FormatArgs(buf, cap, fmt, args, int(sizeof...(A)));
}

/* Formats into a message buffer (MSG_BUF_CHARS characters). */
template <class... A>
inline int FormatMsg(char16_t* buf, const char16_t* fmt, A... a) {
    return FormatMsgN(buf, MSG_BUF_CHARS, fmt, a...);
}

/* The tag of every line the exit logs. */
extern const char16_t LOG_TAG[];

enum { LOG_CANNOT_OPEN = 8 };

/* Appends one timestamped line to the log file: "%s -%s: %s\n" with a tag, "%s -%s\n"
** without.  With neither tag nor text the file is only opened (created when missing) and
** closed.  Returns 0, or 8 when the file cannot be opened (the line is then lost). */
int LogMessage(const char16_t* tag, const char16_t* text);

#endif
