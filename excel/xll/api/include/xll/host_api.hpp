#pragma once

// The spreadsheet host's C interface for 64-bit add-ins: the cell-value structure, its type
// codes, the host function numbers the add-in calls and the callback's signature. Fixed-width
// types keep the Linux layout identical to the host's own.

#include <cstddef>
#include <cstdint>

using XCHAR = char16_t;  // one UTF-16 code unit
using RW = std::int32_t;
using COL = std::int32_t;
using IDSHEET = std::uintptr_t;

struct XLREF12 {
    RW rwFirst;
    RW rwLast;
    COL colFirst;
    COL colLast;
};

struct XLMREF12 {
    std::uint16_t count;
    XLREF12 reftbl[1];
};

struct XLOPER12 {
    union {
        double num;
        XCHAR* str;  // str[0] is the character count
        std::int32_t xbool;
        int err;
        int w;
        struct {
            std::uint16_t count;
            XLREF12 ref;
        } sref;
        struct {
            XLMREF12* lpmref;
            IDSHEET idSheet;
        } mref;
        struct {
            XLOPER12* lparray;  // row-major
            RW rows;
            COL columns;
        } array;
        struct {
            union {
                int level;
                int tbctrl;
                IDSHEET idSheet;
            } valflow;
            RW rw;
            COL col;
            std::uint8_t xlflow;
        } flow;
        struct {
            union {
                std::uint8_t* lpbData;
                void* hdata;
            } h;
            std::int32_t cbData;
        } bigdata;
    } val;
    std::uint32_t xltype;
};

// The host's name for a cell value passed by pointer, as worksheet functions take and return it.
using LPXLOPER12 = XLOPER12*;

static_assert(sizeof(XLOPER12) == 32);
static_assert(offsetof(XLOPER12, xltype) == 24);

inline constexpr std::uint32_t xltypeNum = 0x0001;
inline constexpr std::uint32_t xltypeStr = 0x0002;
inline constexpr std::uint32_t xltypeBool = 0x0004;
inline constexpr std::uint32_t xltypeRef = 0x0008;
inline constexpr std::uint32_t xltypeErr = 0x0010;
inline constexpr std::uint32_t xltypeFlow = 0x0020;
inline constexpr std::uint32_t xltypeMulti = 0x0040;
inline constexpr std::uint32_t xltypeMissing = 0x0080;
inline constexpr std::uint32_t xltypeNil = 0x0100;
inline constexpr std::uint32_t xltypeSRef = 0x0400;
inline constexpr std::uint32_t xltypeInt = 0x0800;
inline constexpr std::uint32_t xltypeBigData = xltypeStr | xltypeInt;
inline constexpr std::uint32_t xlbitXLFree = 0x1000;
inline constexpr std::uint32_t xlbitDLLFree = 0x4000;

// Error values carried in val.err.
inline constexpr int xlerrNull = 0;
inline constexpr int xlerrDiv0 = 7;
inline constexpr int xlerrValue = 15;
inline constexpr int xlerrRef = 23;
inline constexpr int xlerrName = 29;
inline constexpr int xlerrNum = 36;
inline constexpr int xlerrNA = 42;
inline constexpr int xlerrGettingData = 43;

// Host function numbers.
inline constexpr int xlFree = 0 | 0x4000;
inline constexpr int xlGetName = 9 | 0x4000;
inline constexpr int xlSheetNm = 5 | 0x4000;
inline constexpr int xlfCaller = 89;
inline constexpr int xlfNow = 74;
inline constexpr int xlfRegister = 149;
inline constexpr int xlfUnregister = 201;
inline constexpr int xlfEvaluate = 257;
inline constexpr int xlcAlert = 118 | 0x8000;
inline constexpr int xlcMessage = 122 | 0x8000;
inline constexpr int xlcOnTime = 148 | 0x8000;

// Return codes of a call into the host.
inline constexpr int xlret_success = 0;
inline constexpr int xlret_abort = 1;
inline constexpr int xlret_invalid_function = 2;
inline constexpr int xlret_invalid_count = 4;
inline constexpr int xlret_invalid_value = 8;
inline constexpr int xlret_stack_overflow = 16;
inline constexpr int xlret_failed = 32;
inline constexpr int xlret_uncalculated = 64;

// Macro types of a registration.
inline constexpr int xl_macro_function = 1;
inline constexpr int xl_macro_command = 2;

// The host's callback, exported by its main program under the name "MdCallBack12".
// (x64 has a single calling convention, so none is spelled out.)
using HostCallback = int (*)(int xlfn, int coper, XLOPER12** rgpxloper12, XLOPER12* result);
