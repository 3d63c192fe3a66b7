/*
** entry.cpp - KLOColMapWExit, the exit's only export: dispatch and the end of a call.
**
** The host calls us once per row of one destination column and once more with
** CallType 99.  All state of the column lives in the host's work area; the three
** buffers of a call (message, value, output) live on this call's stack.
*/
#include <cstring>

#include "countries/countries.h"
#include "exit/exit_internal.h"
#include "exit/log/log.h"
#include "exit/wstr.h"

#if defined(_WIN32)
#define ZT_EXPORT extern "C" __declspec(dllexport)
#else
#define ZT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

const COUNTRYSET kCountries = {{
    {COUNTRY_FR, InitCountryFR, MaskCountryFR, u"NID ERROR %#x: InitCountryFR Failed"},
    {COUNTRY_UK, InitCountryUK, MaskCountryUK, u"NID ERROR %#x: InitCountryUK Failed"},
    {COUNTRY_ES, InitCountryES, MaskCountryES, u"NID ERROR %#x: InitCountryES Failed"},
    {COUNTRY_IT, InitCountryIT, MaskCountryIT, u"NID ERROR %#x: InitCountryIT Failed"},
}};

/* Hands a failed call's message to the host: the first 100 bytes, zero-padded after the
** terminator, unterminated when the message is longer. */
static void CopyToMsgText(WORKAREA* wa, const char16_t* msg) {
    char16_t text[MSGTEXT_BYTES / 2];
    std::memset(text, 0, sizeof text);
    size_t n = WStrNLen(msg, MSGTEXT_BYTES / 2);
    std::memcpy(text, msg, n * sizeof(char16_t));
    std::memcpy(wa->MsgText, text, sizeof text);
}

/* Ends a row call: result 2 logs (with debug or status) and reports the message. */
static int16_t FinishRowCall(CALL* c, int16_t result) {
    if (result != EXIT_ERROR) return result;
    RBPDATA* rbp = c->wa->pRBPDATA;
    if (rbp && (rbp->Flags & (MODE_DEBUG | MODE_STATUS))) LogMessage(LOG_TAG, c->msg);
    CopyToMsgText(c->wa, c->msg);
    return EXIT_ERROR;
}

/* A row call on a column whose set-up failed: the set-up's message is still in MsgText;
** it is answered again, and no row is processed on the incomplete state. */
static int16_t RefuseAfterFailedSetUp(CALL* c) {
    size_t n = 0;
    for (; n < MSGTEXT_BYTES / 2 && c->wa->MsgText[n]; ++n) c->msg[n] = c->wa->MsgText[n];
    c->msg[n] = 0;
    return EXIT_ERROR;
}

int16_t RunExitCall(INPUTPARMS* ip, COLLIST* srcList, COLLIST* destList,
                    const COUNTRYSET* countries) {
    if (!ip || !ip->pWorkArea) return EXIT_ERROR; /* nowhere to keep or report anything */
    char16_t msg[MSG_BUF_CHARS], value[VALUE_BUF_CHARS], out[OUT_BUF_CHARS];
    CALL c;
    c.msg = msg;
    c.value = value;
    c.out = out;
    c.ip = ip;
    c.srcList = srcList;
    c.destList = destList;
    c.wa = static_cast<WORKAREA*>(ip->pWorkArea);
    c.countries = countries;
    c.msg[0] = 0;
    c.value[0] = 0;
    c.out[0] = 0;

    if (ip->CallType == CALLTYPE_END) return EndCall(&c);

    int16_t result;
    if (!c.wa->pRBPDATA) {
        result = SetUpColumn(&c);
        if (result != 0) return FinishRowCall(&c, result);
    } else if (!(c.wa->pRBPDATA->Flags & MODE_SETUP_DONE)) {
        return FinishRowCall(&c, RefuseAfterFailedSetUp(&c));
    }
    c.wa->pRBPDATA->pMsgBuf = c.msg;
    result = ProcessRow(&c);
    return FinishRowCall(&c, result);
}

ZT_EXPORT int16_t KLOColMapWExit(INPUTPARMS* pInputParms, COLLIST* pSrcColList,
                                 COLLIST* pDestColList) {
    return RunExitCall(pInputParms, pSrcColList, pDestColList, &kCountries);
}
