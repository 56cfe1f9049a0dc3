// The machinery shared by the parameter accessor exports: a setting is
// described once by a table entry (its block, flags and fields), and each
// export is a one-line wrapper that hands its arguments and its entry to a
// generic getter or setter.
//
// The pieces that touch no handle and no device (applying an entry to a
// block, composing the blocks of the special accessors) are plain functions,
// so that they can be checked over byte buffers.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include "driver/param_blocks.h"
#include "objects/handle_table.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct UserHandle;

// One field of a block: its byte offset and width (2 or 4 bytes). Two-byte
// fields are widened to 32 bits when read and truncated when written.
struct ParamField {
    uint16_t Offset = 0;
    uint8_t Width = 0;
    constexpr DWORD End() const { return Offset + Width; }
};

#define VKS_PARAM_FIELD(Block, Member) \
    ParamField { static_cast<uint16_t>(offsetof(Block, Member)), static_cast<uint8_t>(sizeof(Block::Member)) }

constexpr size_t kParamMaxFields = 4;
constexpr size_t kParamMaxWrites = 6;

// A getter: the fields it reads, in the order of the export's out pointers.
// MinSize is the smallest returned size word that covers every field read.
// Fields inside a sub-block with a size word of its own (SubBlockSize, width
// 0 when there is none) must also lie inside what that size word counts from
// the sub-block's start.
struct ParamGetter {
    DWORD BlockBytes = 0;
    DWORD Flags = 0;
    std::array<ParamField, kParamMaxFields> Fields{};
    uint8_t Count = 0;
    DWORD MinSize = 0;
    ParamField SubBlockSize{};

    constexpr ParamGetter(DWORD blockBytes, DWORD flags, std::initializer_list<ParamField> fields,
                          ParamField subBlockSize = {})
        : BlockBytes(blockBytes), Flags(flags), SubBlockSize(subBlockSize) {
        for (const ParamField& f : fields) {
            Fields[Count++] = f;
            if (f.End() > MinSize) MinSize = f.End();
        }
    }
    // The smallest sub-block size word that covers every field read.
    constexpr DWORD MinSubBlockSize() const { return SubBlockSize.Width == 0 ? 0 : MinSize - SubBlockSize.Offset; }
};

// One write of a setter: argument number Arg, or the constant Value when Arg
// is kParamConstant, into Field.
constexpr uint8_t kParamConstant = 0xFF;
struct ParamWrite {
    ParamField Field;
    uint8_t Arg = kParamConstant;
    DWORD Value = 0;
};
constexpr ParamWrite ArgTo(uint8_t arg, ParamField field) { return ParamWrite{field, arg, 0}; }
constexpr ParamWrite ConstTo(ParamField field, DWORD value) { return ParamWrite{field, kParamConstant, value}; }

// What a setter does when the handle cannot be locked.
enum class LockFailure : uint8_t {
    PassThrough,    // the handle table's status is the result
    InvalidHandle,  // VKSERROR_INVALID_HANDLE is the result
};

// A setter: the writes it makes into a fresh block and the flags it sends.
struct ParamSetter {
    DWORD BlockBytes = 0;
    DWORD Flags = 0;
    std::array<ParamWrite, kParamMaxWrites> Writes{};
    uint8_t Count = 0;
    uint8_t ArgCount = 0;
    LockFailure OnLockFailure = LockFailure::PassThrough;

    constexpr ParamSetter(DWORD blockBytes, DWORD flags, std::initializer_list<ParamWrite> writes,
                          LockFailure onLockFailure = LockFailure::PassThrough)
        : BlockBytes(blockBytes), Flags(flags), OnLockFailure(onLockFailure) {
        for (const ParamWrite& w : writes) {
            Writes[Count++] = w;
            if (w.Arg != kParamConstant && w.Arg + 1 > ArgCount) ArgCount = static_cast<uint8_t>(w.Arg + 1);
        }
    }
};

// --- Pure parts ----------------------------------------------------------

// A zeroed block of `blockBytes` with its size word set.
void InitParamBlock(BYTE* block, DWORD blockBytes);
DWORD ReadParamField(const BYTE* block, ParamField field);
void WriteParamField(BYTE* block, ParamField field, DWORD value);

// After a successful get: VKSERROR_UNSUPPORTED with nothing written when the
// returned size word is below the getter's MinSize; else every out receives
// its field and the result is VKSERROR_NO_ERROR.
VKSERROR ReadGetterFields(const ParamGetter& getter, const BYTE* block, uint32_t* const* outs);

// Makes the setter's writes into an initialised block.
void ApplySetterWrites(const ParamSetter& setter, BYTE* block, const DWORD* args);

// The four rates of a decoder or an encoder, after a successful get: each out
// is written when the rates sub-block's own size word (counted from the
// sub-block's start) reaches the end of its field, and the block's returned
// bytes hold it, independently of the others; the result is
// VKSERROR_UNSUPPORTED unless all four are covered.
struct RatesLayout {
    ParamField Size;  // the sub-block's size word, at its start
    ParamField P, Q, R, S;
};
VKSERROR ReadRates(const RatesLayout& layout, const BYTE* block, uint32_t* p, uint32_t* q, uint32_t* r, uint32_t* s);

// Turns a decoder block that holds the picture size (a get with the
// resolution flags) into the block that enables or disables cropping, and
// returns the flags to send with it. Disabling resets the rectangle to the
// whole picture.
DWORD ComposeEnableCropping(BYTE* block, uint32_t enable);

// Fills a network block from a seek request and returns the flags to send;
// 0 when the request names neither time nor position, or when its time does
// not fit the 32-bit field in units of 100 ns.
DWORD ComposeSeek(const NetworkSeekParams& params, BYTE* block);

// The answer to a support query: VKSERROR_NO_ERROR writes 1,
// VKSERROR_UNSUPPORTED writes 0 (both give VKSERROR_NO_ERROR); any other
// status is the result and nothing is written.
VKSERROR SupportAnswer(VKSERROR status, uint32_t* supported);

// Whether a zero-terminated text fits a field of `capacity` bytes, terminator
// included; false for a null text. No byte past the capacity is read.
bool TextFits(const char* text, DWORD capacity);
// Copies a text that fits, terminator included, to `offset`.
void WriteParamText(BYTE* block, DWORD offset, const char* text);

// --- Commands on a locked handle -------------------------------------------

// Locks the handle, runs `body` on its object (the object's type is not
// checked: the flags go to whatever object the handle names) and unlocks.
template <typename Body>
inline VKSERROR WithLockedObject(HVKS handle, LockFailure onLockFailure, Body&& body) {
    UserHandle* object = nullptr;
    const DWORD locked = LockHandleAs(handle, &object);
    if (locked != 0) return onLockFailure == LockFailure::InvalidHandle ? VKSERROR_INVALID_HANDLE : locked;
    const VKSERROR result = body(object);
    UnlockHandle(handle, object);
    return result;
}

VKSERROR RunParamGetter(HVKS handle, const ParamGetter& getter, DWORD selector, uint32_t* const* outs);
VKSERROR RunParamSetter(HVKS handle, const ParamSetter& setter, DWORD selector, const DWORD* args);
VKSERROR RunRatesGetter(HVKS handle, const RatesLayout& layout, DWORD blockBytes, DWORD flags, uint32_t* p,
                        uint32_t* q, uint32_t* r, uint32_t* s);

// The typed front of the generic getter and setter: the number of the
// export's arguments is checked against its table entry when compiling.
template <const ParamGetter& Getter, typename... Out>
inline VKSERROR GetParamFields(HVKS handle, DWORD selector, Out*... outs) {
    static_assert(sizeof...(Out) == Getter.Count, "one out pointer per field");
    uint32_t* const list[] = {outs...};
    return RunParamGetter(handle, Getter, selector, list);
}

template <const ParamSetter& Setter, typename... In>
inline VKSERROR SetParamFields(HVKS handle, In... values) {
    static_assert(sizeof...(In) == Setter.ArgCount, "one argument per written value");
    const DWORD list[] = {static_cast<DWORD>(values)...};
    return RunParamSetter(handle, Setter, kParamCurrent, list);
}

// Definers for the accessor exports of the common shapes, so that each family
// file reads as a table: export name, table entry, selector.
#define VKS_PARAM_GET_1(Export, Getter, Selector) \
    extern "C" VKSERROR VKSAPI Export(HVKS hVKS, uint32_t* pValue) { \
        return GetParamFields<Getter>(hVKS, Selector, pValue); \
    }
// The network-stream forms take an argument that they do not use.
#define VKS_PARAM_GET_1_UNUSED(Export, Getter, Selector) \
    extern "C" VKSERROR VKSAPI Export(HVKS hVKS, uint32_t /*Reserved*/, uint32_t* pValue) { \
        return GetParamFields<Getter>(hVKS, Selector, pValue); \
    }
#define VKS_PARAM_SET_1(Export, Setter) \
    extern "C" VKSERROR VKSAPI Export(HVKS hVKS, uint32_t Value) { return SetParamFields<Setter>(hVKS, Value); }
#define VKS_PARAM_SET_1_UNUSED(Export, Setter) \
    extern "C" VKSERROR VKSAPI Export(HVKS hVKS, uint32_t /*Reserved*/, uint32_t Value) { \
        return SetParamFields<Setter>(hVKS, Value); \
    }
