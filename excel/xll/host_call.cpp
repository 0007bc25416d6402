#include "xll/host_call.hpp"

#include <cstdio>

#include "xll/ensure.hpp"
#include "xll/platform.hpp"

namespace xll {

xloper XlCallV(int xlfn, int count, XLOPER12** args) {
    static const HostCallback host_callback = platform::find_host_callback();
    XLL_ENSURE("xll::XlCallV", host_callback != nullptr);
    xloper result;
    const int code = host_callback(xlfn, count, args, &result);
    switch (result.type()) {
        case xltypeStr:
        case xltypeRef:
        case xltypeMulti:
        case xltypeFlow:
        case xltypeBigData:
            // Host memory, given back through xlFree when the result is released.
            result.xltype |= xlbitXLFree;
            break;
        default:
            break;
    }
    if (code != xlret_success) {
        XLL_ENSURE("xll::XlCallV", result.IsError());
    }
    return result;
}

std::optional<std::string> calling_cell() {
    try {
        const xloper caller = call_host(xlfCaller);
        XLREF12 area;
        if (caller.type() == xltypeSRef) {
            area = caller.val.sref.ref;
        } else if (caller.type() == xltypeRef && caller.val.mref.lpmref != nullptr &&
                   caller.val.mref.lpmref->count >= 1) {
            area = caller.val.mref.lpmref->reftbl[0];
        } else {
            return std::nullopt;
        }
        // The reference goes back as the host gave it, minus the ownership bit, which tells
        // only this add-in what to free.
        XLOPER12 reference = caller;
        reference.xltype = caller.type();
        const xloper sheet = call_host(xlSheetNm, reference);
        std::string cell;
        char place[64];
        if (sheet.IsString()) {
            cell = utf8_of(sheet);
        } else if (caller.type() == xltypeRef) {
            // A host that does not name the sheet still identifies it.
            std::snprintf(place, sizeof place, "sheet %llu",
                          static_cast<unsigned long long>(caller.val.mref.idSheet));
            cell = place;
        } else {
            return std::nullopt;
        }
        if (area.rwFirst == area.rwLast && area.colFirst == area.colLast) {
            std::snprintf(place, sizeof place, "!R%dC%d", area.rwFirst + 1, area.colFirst + 1);
        } else {
            std::snprintf(place, sizeof place, "!R%dC%d:R%dC%d", area.rwFirst + 1,
                          area.colFirst + 1, area.rwLast + 1, area.colLast + 1);
        }
        cell += place;
        return cell;
    } catch (...) {
        // Without a host, or with one that cannot answer, the call has no cell.
        return std::nullopt;
    }
}

}  // namespace xll
