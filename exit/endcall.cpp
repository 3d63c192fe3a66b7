/*
** endcall.cpp - the end call: end report, release of the column's state.
*/
#include "exit/exit_internal.h"
#include "exit/log/log.h"
#include "exit/memory.h"
#include "exit/operands/operands.h"

/* One line of the end report per counter, in report order. */
struct REPORTLINE {
    int32_t WORKAREA::*counter;
    const char16_t* text;
};
static const REPORTLINE kReportLines[] = {
    {&WORKAREA::InvalidLengthCount, u"Invalid source data length:           %ld"},
    {&WORKAREA::InvalidPartCount, u"Invalid source data part:           %ld"},
    {&WORKAREA::InvalidDataCount, u"Invalid source data:           %ld"},
    {&WORKAREA::NullInputCount, u"Null Input:           %ld"},
    {&WORKAREA::ConversionErrorCount, u"Column conversion errors:           %ld"},
    {&WORKAREA::InvalidSeparatorCount, u"Invalid Separator(s) In Input:           %ld"},
};

/* Logs the counters of the column, or that there were no row errors. */
static void WriteEndReport(CALL* c, const RBPDATA* rbp) {
    const char16_t* name = rbp->pDestCol ? rbp->pDestCol->pColName : nullptr;
    bool any = false;
    for (const REPORTLINE& l : kReportLines) any = any || c->wa->*l.counter > 0;
    if (!any) {
        FormatMsg(c->msg, u"No row errors detected processing column %s", name);
        LogMessage(LOG_TAG, c->msg);
        return;
    }
    FormatMsg(c->msg, u"Non-zero error counts for column %s", name);
    LogMessage(LOG_TAG, c->msg);
    for (const REPORTLINE& l : kReportLines) {
        int32_t n = c->wa->*l.counter;
        if (n <= 0) continue;
        FormatMsg(c->msg, l.text, long(n));
        LogMessage(LOG_TAG, c->msg);
    }
}

void ReleaseColumn(WORKAREA* wa) {
    if (RBPDATA* rbp = wa->pRBPDATA) {
        FreeOperands(rbp->pOperands);
        ZtFree(rbp->pOperands);
        ZtFree(rbp);
        wa->pRBPDATA = nullptr;
    }
    /* One by one: the work area is packed, so its fields have no address to take. */
    ZtFree(wa->pWorkAreaES);
    ZtFree(wa->pWorkAreaFR);
    ZtFree(wa->pWorkAreaIT);
    ZtFree(wa->pWorkAreaUK);
    wa->pWorkAreaES = wa->pWorkAreaFR = wa->pWorkAreaIT = wa->pWorkAreaUK = nullptr;
}

int16_t EndCall(CALL* c) {
    RBPDATA* rbp = c->wa->pRBPDATA;
    if (rbp && (rbp->Flags & (MODE_DEBUG | MODE_STATUS))) WriteEndReport(c, rbp);
    ReleaseColumn(c->wa);
    LogMessage(nullptr, nullptr);
    return EXIT_DONE;
}
