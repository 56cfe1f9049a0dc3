// The parameters `vksctl param` knows: per family, the accessor exports of
// each parameter by selector.
#pragma once

#include "vksacc.h"

#include <cstdint>
#include <string>

namespace vksctl {

enum Selector { kCurrent, kMinimum, kMaximum, kDefault, kSelectorCount };
const char* SelectorName(int selector);

// Values are passed as up to four u32 in the order of the export's arguments.
using ParamGetter = VKSERROR (*)(HVKS, uint32_t*);
using ParamSetter = VKSERROR (*)(HVKS, const uint32_t*);

struct Param {
    const char* family;  // "decoder", "encoder", "stream"
    const char* name;
    int values;
    ParamGetter get[kSelectorCount];  // null: that selector does not exist
    ParamSetter set;                  // null: read-only
    const char* meaning;
};

const Param* FindParam(const std::string& family, const std::string& name);
bool IsFamily(const std::string& family);
// Every parameter, ending with a null family.
const Param* AllParams();

}  // namespace vksctl
