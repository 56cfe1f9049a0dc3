// The parameters `vksctl param` knows: per family, the accessor exports of
// each parameter by selector.
#pragma once

#include "vksacc.h"

#include <cstdint>
#include <string>
#include <vector>

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

// "a,b,c" into the parameter's values; false with a usage message.
bool ParseParamValues(const Param& param, const std::string& text, uint32_t* values, std::string* error);
// Sets the parameter on an open object. On refusal `error` names the status
// and, where the parameter has a minimum and a maximum, the valid range.
VKSERROR SetParam(const Param& param, HVKS object, const uint32_t* values, const std::string& text,
                  std::string* error);
std::string JoinValues(const uint32_t* values, int n);

// One "NAME=VALUE" of --param, looked up in the families given in order.
struct ParamSetting {
    const Param* param = nullptr;
    std::string text;
    uint32_t values[4] = {};
};
// False with a usage message for an unknown name or a malformed value.
bool ParseParamSetting(const std::string& setting, const std::vector<std::string>& families, ParamSetting* out,
                       std::string* error);

}  // namespace vksctl
