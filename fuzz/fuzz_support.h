/*
** fuzz_support.h - what the fuzz targets share: a reader over the fuzzer's bytes, the
** strings it builds from them, a random source fed by the input, and a failing-
** allocation hook.
**
** The input is read front to back; a reader past the end yields zeros, so every byte
** string is a valid scenario.  A string is one or more pieces, each introduced by one
** byte (bit 7: another piece follows; bits 0-1: the kind):
**   0  UTF-16 literal: a length byte, then that many 16-bit units (little endian);
**   1  byte literal: a length byte, then that many bytes, each one character (so the
**      fuzzer's ASCII mutations and dictionary stay readable);
**   2  repetition: a 16-bit unit and a 16-bit count (long values for few bytes);
**   3  template: a 16-bit index into Templates() (valid numbers of every country in
**      every layout, drawn through the exit itself, and names that matter).
*/
#ifndef ZT0NID_FUZZ_SUPPORT_H
#define ZT0NID_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    uint8_t u8() { return n_ ? (--n_, *p_++) : 0; }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    uint32_t u32() { return uint32_t(u16()) | (uint32_t(u16()) << 16); }
    size_t left() const { return n_; }

    /* One string as described above; at most maxChars characters. */
    std::u16string str(size_t maxChars = 70000);

private:
    const uint8_t* p_;
    size_t n_;
};

/* Strings worth starting from: column names, switch values, format values and valid
** numbers of every country that initialises (filled on first use). */
const std::vector<std::u16string>& Templates();

/* Random source: the draws given by the input first, then a xorshift generator seeded
** from them, so that a country that rejects draws always gets fresh ones. */
void SeedDraws(Reader& r);
uint32_t NextDraw();

/* Makes the n-th allocation of the exit from now fail (0: none fail). */
void FailAllocation(int n);

/* Aborts with a note on stderr: the fuzzer records the input as a crash. */
[[noreturn]] void Fail(const char* what);
#define FUZZ_CHECK(cond) \
    do { \
        if (!(cond)) ::fuzz::Fail(#cond); \
    } while (0)

} // namespace fuzz

#endif
