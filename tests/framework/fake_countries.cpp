// The stand-in country routines: they record what they saw and answer as configured.
#include "framework/fake_countries.h"

#include <cstring>

#include "exit/exit_internal.h"
#include "exit/log/log.h"

FakeConfig g_fake;

namespace {

int32_t FakeInit(int index, RBPDATA* rbp) {
    if (g_fake.initRc[index] != 0) return g_fake.initRc[index];
    if (rbp->Flags & MODE_MASK) rbp->SrcDataType = g_fake.srcType;
    rbp->DestDataType = g_fake.destType;
    return 0;
}

int32_t FakeMask(uint16_t country, RBPDATA* rbp) {
    FakeConfig& f = g_fake;
    ++f.maskCalls;
    f.seenCountry = country;
    f.seenFlags = rbp->Flags;
    f.seenInKind = rbp->InKind;
    f.seenNoSource = rbp->pSrcCol == nullptr;
    if (rbp->InKind == KIND_STRING && rbp->InValue.pStr)
        f.seenIn.assign(rbp->InValue.pStr, size_t(rbp->InLength));
    if (rbp->InKind == KIND_INT32) f.seenInt = rbp->InValue.Int32;
    if (!f.maskMsg.empty()) FormatMsg(rbp->pMsgBuf, f.maskMsg.c_str());
    rbp->OutKind = f.outKind;
    if (f.outKind == KIND_STRING) {
        std::memcpy(rbp->OutValue.pStr, f.out.data(), f.out.size() * 2);
        rbp->OutValue.pStr[f.out.size()] = 0;
        rbp->OutLength = f.outLength >= 0 ? f.outLength : int32_t(f.out.size());
    } else {
        rbp->OutValue.Raw = f.outRaw;
    }
    return f.maskRc;
}

template <int Index>
int32_t Init(RBPDATA* r, uint32_t*) { return FakeInit(Index, r); }
template <uint16_t Country>
int32_t Mask(RBPDATA* r, uint32_t*) { return FakeMask(Country, r); }

const COUNTRYSET kFakeCountries = {{
    {COUNTRY_FR, Init<0>, Mask<COUNTRY_FR>, u"NID ERROR %#x: InitCountryFR Failed"},
    {COUNTRY_UK, Init<1>, Mask<COUNTRY_UK>, u"NID ERROR %#x: InitCountryUK Failed"},
    {COUNTRY_ES, Init<2>, Mask<COUNTRY_ES>, u"NID ERROR %#x: InitCountryES Failed"},
    {COUNTRY_IT, Init<3>, Mask<COUNTRY_IT>, u"NID ERROR %#x: InitCountryIT Failed"},
}};

} // namespace

int16_t FakeExit(INPUTPARMS* ip, COLLIST* src, COLLIST* dst) {
    return RunExitCall(ip, src, dst, &kFakeCountries);
}
