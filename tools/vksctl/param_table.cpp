#include "param_table.h"

#include "options.h"
#include "status_names.h"

#include <sstream>

namespace vksctl {

namespace {

// Shorthands for the accessor exports' shapes.
#define GET1(fn) [](HVKS h, uint32_t* v) { return fn(h, &v[0]); }
#define GET1R(fn) [](HVKS h, uint32_t* v) { return fn(h, 0, &v[0]); }
#define GET2(fn) [](HVKS h, uint32_t* v) { return fn(h, &v[0], &v[1]); }
#define GET4(fn) [](HVKS h, uint32_t* v) { return fn(h, &v[0], &v[1], &v[2], &v[3]); }
#define SET1(fn) [](HVKS h, const uint32_t* v) { return fn(h, v[0]); }
#define SET1R(fn) [](HVKS h, const uint32_t* v) { return fn(h, 0, v[0]); }
#define SET2(fn) [](HVKS h, const uint32_t* v) { return fn(h, v[0], v[1]); }
#define SET4(fn) [](HVKS h, const uint32_t* v) { return fn(h, v[0], v[1], v[2], v[3]); }

// Order of get[]: current, minimum, maximum, default.
const Param kParams[] = {
    {"decoder", "cropping", 4,
     {GET4(VKSDecoderDeviceGetCropping), GET4(VKSDecoderDeviceGetCroppingMinimum),
      GET4(VKSDecoderDeviceGetCroppingMaximum), GET4(VKSDecoderDeviceGetCroppingDefault)},
     SET4(VKSDecoderDeviceSetCropping), "cropping rectangle, four values"},
    {"decoder", "cropping-enabled", 1, {GET1(VKSDecoderDeviceIsCroppingEnabled), nullptr, nullptr, nullptr},
     SET1(VKSDecoderDeviceEnableCropping), "1 crops; other values show the whole picture"},
    {"decoder", "deinterlace", 2, {GET2(VKSDecoderDeviceGetDeInterlace), nullptr, nullptr, nullptr},
     SET2(VKSDecoderDeviceSetDeInterlace), "mode (0 to 2) and second value"},
    {"decoder", "hdcp-header", 2, {[](HVKS h, uint32_t* v) { return VKSDecoderDeviceGetHDCPHeader(h, v); }, nullptr,
                                   nullptr, nullptr},
     nullptr, "HDCP header, two words"},
    {"decoder", "rates", 4, {GET4(VKSDecoderDeviceGetRates), nullptr, nullptr, nullptr}, nullptr,
     "the four rate values"},
    {"decoder", "render-rate", 1, {GET1(VKSDecoderDeviceGetRenderRate), nullptr, nullptr, nullptr}, nullptr,
     "render rate"},
    {"decoder", "resolution", 2, {GET2(VKSDecoderDeviceGetResolution), nullptr, nullptr, nullptr}, nullptr,
     "decoded picture width and height"},
    {"decoder", "sync-mode", 1, {GET1(VKSDecoderDeviceGetSyncMode), nullptr, nullptr, nullptr},
     SET1(VKSDecoderDeviceSetSyncMode), "sync mode"},
    {"decoder", "audio-delay", 1, {nullptr, nullptr, nullptr, nullptr}, SET1(VKSDecoderDeviceSetAudioDelay),
     "audio delay (set only)"},
    {"decoder", "audio-volume", 1, {nullptr, nullptr, nullptr, nullptr}, SET1(VKSDecoderDeviceSetAudioVolume),
     "audio volume (set only)"},
    {"decoder", "scaling", 2, {nullptr, nullptr, nullptr, nullptr}, SET2(VKSDecoderDeviceSetScaling),
     "scaling, two values (set only)"},
    {"decoder", "rate-management", 1, {nullptr, nullptr, nullptr, nullptr},
     SET1(VKSDecoderDeviceSetRateManagementControl), "rate management control (set only)"},

    {"encoder", "frame-rate", 1,
     {GET1(VKSEncoderGetFrameRate), GET1(VKSEncoderGetFrameRateMinimum), GET1(VKSEncoderGetFrameRateMaximum),
      GET1(VKSEncoderGetFrameRateDefault)},
     SET1(VKSEncoderSetFrameRate), "frames per second"},
    {"encoder", "rates", 4, {GET4(VKSEncoderDeviceGetRates), nullptr, nullptr, nullptr}, nullptr,
     "the four frame-rate values"},
    {"encoder", "bit-rate", 1,
     {GET1(VKSEncoderGetBitRate), GET1(VKSEncoderGetBitRateMinimum), GET1(VKSEncoderGetBitRateMaximum),
      GET1(VKSEncoderGetBitRateDefault)},
     SET1(VKSEncoderSetBitRate), "bits per second"},
    {"encoder", "profile", 1, {GET1(VKSEncoderGetProfile), nullptr, nullptr, GET1(VKSEncoderGetProfileDefault)},
     SET1(VKSEncoderSetProfile), "codec profile"},
    {"encoder", "level", 1, {GET1(VKSEncoderGetLevel), nullptr, nullptr, GET1(VKSEncoderGetLevelDefault)},
     SET1(VKSEncoderSetLevel), "codec level"},
    {"encoder", "key-frame-interval", 1,
     {GET1(VKSEncoderGetKeyFrameInterval), GET1(VKSEncoderGetKeyFrameIntervalMinimum),
      GET1(VKSEncoderGetKeyFrameIntervalMaximum), GET1(VKSEncoderGetKeyFrameIntervalDefault)},
     SET1(VKSEncoderSetKeyFrameInterval), "frames from one key frame to the next"},
    {"encoder", "resolution", 2, {nullptr, nullptr, nullptr, nullptr}, SET2(VKSEncoderSetResolution),
     "width and height (set only)"},
    {"encoder", "codec", 1, {nullptr, nullptr, nullptr, nullptr}, SET1(VKSEncoderSetCodec), "codec (set only)"},
    {"encoder", "encryption-type", 1, {nullptr, nullptr, nullptr, nullptr}, SET1(VKSEncoderSetEncryptionType),
     "encryption type, 0 for none (set only)"},
    {"encoder", "audio-input-channel", 1, {nullptr, nullptr, nullptr, nullptr}, SET1(VKSEncoderSetAudioInputChannel),
     "audio input channel (set only)"},

    {"stream", "caching", 1,
     {GET1R(VKSNetworkStreamGetCaching), GET1R(VKSNetworkStreamGetCachingMinimum),
      GET1R(VKSNetworkStreamGetCachingMaximum), GET1R(VKSNetworkStreamGetCachingDefault)},
     SET1R(VKSNetworkStreamSetCaching), "caching"},
    {"stream", "caching-limit", 1,
     {GET1R(VKSNetworkStreamGetCachingLimit), GET1R(VKSNetworkStreamGetCachingLimitMinimum),
      GET1R(VKSNetworkStreamGetCachingLimitMaximum), GET1R(VKSNetworkStreamGetCachingLimitDefault)},
     SET1R(VKSNetworkStreamSetCachingLimit), "caching limit"},
    {"stream", "jitter", 1,
     {GET1R(VKSNetworkStreamGetJitter), GET1R(VKSNetworkStreamGetJitterMinimum),
      GET1R(VKSNetworkStreamGetJitterMaximum), GET1R(VKSNetworkStreamGetJitterDefault)},
     SET1R(VKSNetworkStreamSetJitter), "jitter buffer"},
    {"stream", "transport", 1, {GET1(VKSNetworkStreamGetTransport), nullptr, nullptr, nullptr},
     SET1(VKSNetworkStreamSetTransport), "transport"},
    {"stream", "program-id", 1, {GET1(VKSNetworkStreamGetProgramId), nullptr, nullptr, nullptr},
     SET1(VKSNetworkStreamSetProgramId), "program id"},
    {nullptr, nullptr, 0, {nullptr, nullptr, nullptr, nullptr}, nullptr, nullptr},
};

}  // namespace

const char* SelectorName(int selector) {
    static const char* const kNames[] = {"current", "minimum", "maximum", "default"};
    return selector >= 0 && selector < kSelectorCount ? kNames[selector] : "?";
}

const Param* AllParams() { return kParams; }

bool IsFamily(const std::string& family) { return family == "decoder" || family == "encoder" || family == "stream"; }

const Param* FindParam(const std::string& family, const std::string& name) {
    for (const Param* p = kParams; p->family; ++p)
        if (family == p->family && name == p->name) return p;
    return nullptr;
}

std::string JoinValues(const uint32_t* values, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += (i ? " " : "") + std::to_string(values[i]);
    return text;
}

bool ParseParamValues(const Param& param, const std::string& text, uint32_t* values, std::string* error) {
    std::stringstream list(text);
    std::string item;
    int n = 0;
    while (std::getline(list, item, ',')) {
        if (n >= param.values || !ParseU32(item, &values[n])) {
            n = -1;
            break;
        }
        ++n;
    }
    if (n == param.values) return true;
    *error = std::string(param.name) + " takes " + std::to_string(param.values) + " number" +
             (param.values > 1 ? "s separated by commas" : "") + ", not '" + text + "'";
    return false;
}

VKSERROR SetParam(const Param& param, HVKS object, const uint32_t* values, const std::string& text,
                  std::string* error) {
    const VKSERROR status = param.set(object, values);
    if (status == VKSERROR_NO_ERROR) return status;
    *error = "setting " + std::string(param.family) + " " + param.name + " to " + text + ": " + StatusText(status);
    uint32_t low[4] = {}, high[4] = {};
    if (param.get[kMinimum] && param.get[kMaximum] && param.get[kMinimum](object, low) == VKSERROR_NO_ERROR &&
        param.get[kMaximum](object, high) == VKSERROR_NO_ERROR)
        *error += " (valid: " + JoinValues(low, param.values) + " to " + JoinValues(high, param.values) + ")";
    return status;
}

bool ParseParamSetting(const std::string& setting, const std::vector<std::string>& families, ParamSetting* out,
                       std::string* error) {
    const size_t equals = setting.find('=');
    if (equals == std::string::npos || equals == 0) {
        *error = "--param takes NAME=VALUE, not '" + setting + "'";
        return false;
    }
    const std::string name = setting.substr(0, equals);
    for (const std::string& family : families)
        if ((out->param = FindParam(family, name))) break;
    if (!out->param) {
        std::string known;
        for (const Param* p = AllParams(); p->family; ++p)
            for (const std::string& family : families)
                if (family == p->family && p->set) known += (known.empty() ? "" : ", ") + std::string(p->name);
        *error = "unknown parameter '" + name + "' (settable here: " + known + ")";
        return false;
    }
    if (!out->param->set) {
        *error = std::string(out->param->family) + " parameter " + name + " is read-only";
        return false;
    }
    out->text = setting.substr(equals + 1);
    return ParseParamValues(*out->param, out->text, out->values, error);
}

}  // namespace vksctl
