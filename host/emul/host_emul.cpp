/*
** host_emul.cpp - the host side of the exit's contract.
*/
#include "host/emul/host_emul.h"

#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace hostemu {

namespace {

/* The callbacks carry no user pointer: the map being called is the current one.  No
** exception of the host (out of memory) may cross the exit: it becomes a failed call. */
thread_local ColumnMap* g_active = nullptr;

int16_t GetColValueCb(uint16_t colId, uint16_t valueType, uint16_t precision, uint16_t /*scale*/, void* buffer,
                      int32_t bufferLength, int16_t* nullInd) {
    try {
        return g_active ? g_active->onGet(colId, valueType, precision, buffer, bufferLength, nullInd) : 1;
    } catch (...) {
        return 1;
    }
}

int16_t PutColValueCb(uint16_t /*valueType*/, uint16_t /*precision*/, uint16_t /*scale*/, void* buffer,
                      int32_t length, int16_t* nullInd) {
    try {
        return g_active ? g_active->onPut(buffer, nullInd, length) : 1;
    } catch (...) {
        return 1;
    }
}

/* Reads a decimal number (optional sign) from text; 0 when there is none. */
int64_t ParseNumber(const std::u16string& text) {
    int64_t v = 0;
    size_t i = 0;
    bool neg = false;
    while (i < text.size() && text[i] == u' ') ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) neg = text[i++] == u'-';
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) v = v * 10 + (text[i] - u'0');
    return neg ? -v : v;
}

} // namespace

void EncodePacked(int64_t value, int digits, uint8_t* out, size_t outBytes) {
    size_t n = size_t(digits + 2) / 2;
    if (digits < 0 || n > outBytes) return;
    std::memset(out, 0, n);
    out[n - 1] = value >= 0 ? 0x0C : 0x0D;
    uint64_t mag = value >= 0 ? uint64_t(value) : 0ULL - uint64_t(value);
    for (int k = 0; k < digits && mag; ++k, mag /= 10) {
        uint8_t d = uint8_t(mag % 10);
        size_t byte = n - 1 - size_t(k + 1) / 2;
        out[byte] |= (k % 2 == 0) ? uint8_t(d << 4) : d;
    }
}

ColumnMap::ColumnMap(PFN_KLOCOLMAPWEXIT exitFn, std::u16string operands, std::vector<Column> sources,
                     std::vector<Column> dests, int destIndex)
    : exit_(exitFn), operands_(std::move(operands)), sources_(std::move(sources)), dests_(std::move(dests)) {
    cells_.resize(sources_.size());
    srcList_ = buildList(sources_, 100);
    dstList_ = buildList(dests_, 200);
    work_.assign(512, 0);
    parms_.assign(sizeof(INPUTPARMS), 0);
    INPUTPARMS& ip = inputParms();
    ip.CallType = 1;
    ip.pGetColValue = &GetColValueCb;
    ip.pPutColValue = &PutColValueCb;
    ip.pWorkArea = work_.data();
    ip.DestColIndex = int16_t(destIndex);
    ip.NumParms = 1;
    ip.pParm[0] = operands_.data();
}

std::vector<uint8_t> ColumnMap::buildList(std::vector<Column>& cols, uint16_t firstId) {
    std::vector<uint8_t> bytes(2 + 24 * (cols.empty() ? 1 : cols.size()), 0);
    COLLIST* list = reinterpret_cast<COLLIST*>(bytes.data());
    list->NumCols = int16_t(cols.size());
    for (size_t i = 0; i < cols.size(); ++i) {
        Column& c = cols[i];
        if (c.colId == 0) c.colId = uint16_t(firstId + i);
        COLDESC d{};
        d.pColName = c.name.data();
        d.ColId = c.colId;
        d.DataType = c.dataType;
        d.Length = c.length;
        d.Precision = c.precision;
        d.Scale = c.scale;
        d.Nullable = c.nullable ? 1 : 0;
        std::memcpy(bytes.data() + 2 + 24 * i, &d, sizeof d);
    }
    return bytes;
}

void ColumnMap::set(const std::u16string& column, const Cell& cell) {
    for (size_t i = 0; i < sources_.size(); ++i)
        if (sources_[i].name == column) cells_[i] = cell;
}

int16_t ColumnMap::onGet(uint16_t colId, uint16_t valueType, uint16_t precision, void* buffer,
                         int32_t bufferLength, int16_t* nullInd) {
    size_t i = 0;
    while (i < sources_.size() && sources_[i].colId != colId) ++i;
    if (recordGets_ && current_) current_->gets.push_back(GetCall{colId, valueType, bufferLength});
    if (i == sources_.size()) return 1;
    if (host_) return host_->get(i, valueType, precision, buffer, bufferLength, nullInd);
    const Cell& cell = cells_[i];
    if (cell.getResult != 0) return cell.getResult;
    if (nullInd) *nullInd = cell.isNull ? NULLIND_NULL : NULLIND_VALUE;
    if (cell.isNull || !buffer || bufferLength <= 0) return 0;

    if (valueType == VT_WSTRING) {
        /* A string that does not fit is cut to fit, terminator included. */
        size_t room = size_t(bufferLength) / 2;
        if (room == 0) return 0;
        size_t n = cell.text.size() < room - 1 ? cell.text.size() : room - 1;
        std::memcpy(buffer, cell.text.data(), n * 2);
        static_cast<char16_t*>(buffer)[n] = 0;
    } else if (valueType == 10 || valueType == 14 || valueType == 15) {
        if (bufferLength >= 4) {
            int32_t v = int32_t(ParseNumber(cell.text));
            std::memcpy(buffer, &v, 4);
        }
    } else if (valueType == VT_PACKED) {
        EncodePacked(ParseNumber(cell.text), precision, static_cast<uint8_t*>(buffer), size_t(bufferLength));
    }
    return 0;
}

int16_t ColumnMap::onPut(void* buffer, int16_t* nullInd, int32_t length) {
    ++puts_;
    putNull_ = nullInd && *nullInd == NULLIND_NULL;
    if (host_) return host_->put(putNull_ ? nullptr : static_cast<const char16_t*>(buffer), length);
    if (putNull_ || !buffer) {
        putValue_.clear();
    } else {
        const char16_t* s = static_cast<const char16_t*>(buffer);
        size_t n = 0;
        while (n < OUT_BUF_CHARS && s[n]) ++n;
        putValue_.assign(s, n);
    }
    return putResult_;
}

ColumnMap::~ColumnMap() {
    if (needsEnd_) end();
}

int16_t ColumnMap::call(uint32_t callType) {
    needsEnd_ = callType != CALLTYPE_END;
    inputParms().CallType = callType;
    puts_ = 0;
    putNull_ = false;
    ColumnMap* outer = g_active;
    g_active = this;
    int16_t rc = exit_(&inputParms(), sourceList(), destList());
    g_active = outer;
    return rc;
}

RowOutcome ColumnMap::row(uint32_t callType) {
    RowOutcome out;
    current_ = &out;
    recordGets_ = true;
    out.rc = call(callType);
    current_ = nullptr;
    out.puts = puts_;
    out.putNull = putNull_;
    out.put = putValue_;
    const WORKAREA& wa = workArea();
    for (size_t i = 0; i < 50 && wa.MsgText[i]; ++i) out.msgText += wa.MsgText[i];
    return out;
}

int16_t ColumnMap::rowFast(const char16_t** putValue, bool* putNull) {
    recordGets_ = false;
    int16_t rc = call(1);
    recordGets_ = true;
    if (putValue) *putValue = puts_ ? putValue_.c_str() : nullptr;
    if (putNull) *putNull = putNull_;
    return rc;
}

int16_t ColumnMap::end() { return call(CALLTYPE_END); }

PFN_KLOCOLMAPWEXIT LoadExit(const std::string& path, std::string* error) {
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h) {
        if (error) *error = "cannot load " + path;
        return nullptr;
    }
    auto fn = reinterpret_cast<PFN_KLOCOLMAPWEXIT>(reinterpret_cast<void*>(GetProcAddress(h, "KLOColMapWExit")));
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (error) *error = dlerror();
        return nullptr;
    }
    auto fn = reinterpret_cast<PFN_KLOCOLMAPWEXIT>(dlsym(h, "KLOColMapWExit"));
#endif
    if (!fn && error) *error = path + " does not export KLOColMapWExit";
    return fn;
}

} // namespace hostemu
