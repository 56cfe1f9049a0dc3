// The table of settings behind the parameter accessor exports: for each one,
// its block, its flags and the fields it reads or writes. The exports of each
// family (param_exports_*.cpp) pair these entries with their names and
// selectors.
#pragma once

#include "driver/param_accessors.h"
#include "driver/param_blocks.h"

#define VKS_DEC(Member) VKS_PARAM_FIELD(DecoderParamBlock, Member)
#define VKS_ENC(Member) VKS_PARAM_FIELD(EncoderParamBlock, Member)
#define VKS_NET(Member) VKS_PARAM_FIELD(NetworkParamBlock, Member)

// --- Decoder ---------------------------------------------------------------

inline constexpr ParamGetter kGetDecoderCropping{
    kDecoderParamBlockBytes, kDecoderFlagCroppingRect,
    {VKS_DEC(CroppingA), VKS_DEC(CroppingB), VKS_DEC(CroppingC), VKS_DEC(CroppingD)}};
inline constexpr ParamSetter kSetDecoderCropping{
    kDecoderParamBlockBytes, kDecoderFlagCroppingRect,
    {ArgTo(0, VKS_DEC(CroppingA)), ArgTo(1, VKS_DEC(CroppingB)), ArgTo(2, VKS_DEC(CroppingC)),
     ArgTo(3, VKS_DEC(CroppingD))}};
inline constexpr ParamGetter kGetDecoderCroppingEnabled{kDecoderParamBlockBytes, kDecoderFlagCroppingEnabled,
                                                        {VKS_DEC(CroppingEnabled)}};
// Mode first, as the exports take it.
inline constexpr ParamGetter kGetDecoderDeInterlace{kDecoderParamBlockBytes, kDecoderFlagDeInterlace,
                                                    {VKS_DEC(DeInterlaceMode), VKS_DEC(DeInterlaceSecond)}};
inline constexpr ParamSetter kSetDecoderDeInterlace{
    kDecoderParamBlockBytes, kDecoderFlagDeInterlace,
    {ArgTo(0, VKS_DEC(DeInterlaceMode)), ArgTo(1, VKS_DEC(DeInterlaceSecond))}};
inline constexpr ParamGetter kGetDecoderHdcpHeader{kDecoderParamBlockBytes, kDecoderFlagHdcpHeader,
                                                   {VKS_DEC(HdcpHeader0), VKS_DEC(HdcpHeader1)}};
inline constexpr ParamGetter kGetDecoderResolution{kDecoderParamBlockBytes, kDecoderFlagResolution,
                                                   {VKS_DEC(Width), VKS_DEC(Height)}};
inline constexpr ParamGetter kGetDecoderSyncMode{kDecoderParamBlockBytes, kDecoderFlagSyncMode, {VKS_DEC(SyncMode)}};
inline constexpr ParamSetter kSetDecoderSyncMode{kDecoderParamBlockBytes, kDecoderFlagSyncMode,
                                                 {ArgTo(0, VKS_DEC(SyncMode))}};
inline constexpr ParamSetter kSetDecoderAudioDelay{kDecoderParamBlockBytes, kDecoderFlagAudioDelay,
                                                   {ArgTo(0, VKS_DEC(AudioDelay))}, LockFailure::InvalidHandle};
inline constexpr ParamSetter kSetDecoderAudioVolume{kDecoderParamBlockBytes, kDecoderFlagAudioVolume,
                                                    {ArgTo(0, VKS_DEC(AudioVolume))}};
inline constexpr ParamSetter kSetDecoderScaling{kDecoderParamBlockBytes, kDecoderFlagScaling,
                                                {ArgTo(0, VKS_DEC(Scaling1)), ArgTo(1, VKS_DEC(Scaling2))}};
inline constexpr ParamSetter kSetDecoderRateManagement{kDecoderParamBlockBytes, kDecoderFlagRateManagement,
                                                       {ArgTo(0, VKS_DEC(RateManagementControl))}};
// The rates are counted by their sub-block's own size word: r, p, q and s need
// 8, 12, 16 and 20 bytes of it.
inline constexpr RatesLayout kDecoderRates{VKS_DEC(RatesSize), VKS_DEC(Rate24), VKS_DEC(Rate28),
                                           VKS_DEC(RenderRate), VKS_DEC(Rate32)};

constexpr bool RatesThresholds(const RatesLayout& l) {
    const DWORD base = l.Size.Offset;
    return l.R.End() - base == 8 && l.P.End() - base == 12 && l.Q.End() - base == 16 && l.S.End() - base == 20;
}
static_assert(RatesThresholds(kDecoderRates));
static_assert(kGetDecoderCropping.MinSize == 56 && kGetDecoderCroppingEnabled.MinSize == 40);
static_assert(kGetDecoderDeInterlace.MinSize == 64 && kGetDecoderHdcpHeader.MinSize == 116);
static_assert(kGetDecoderResolution.MinSize == 12 && kGetDecoderSyncMode.MinSize == 152);

// --- Encoder ---------------------------------------------------------------

// The frame rate lies inside the frame-rate sub-block: it is read only when
// both the returned block and the sub-block's own size word (12) reach its end.
inline constexpr ParamGetter kGetEncoderFrameRate{kEncoderParamBlockBytes, kEncoderFlagFrameRates,
                                                  {VKS_ENC(FrameRate)}, VKS_ENC(FrameRatesSize)};
inline constexpr ParamSetter kSetEncoderFrameRate{
    kEncoderParamBlockBytes, kEncoderFlagFrameRates,
    {ConstTo(VKS_ENC(FrameRatesSize), kRatesSubBlockBytes), ArgTo(0, VKS_ENC(FrameRate)),
     ArgTo(0, VKS_ENC(FrameRate20)), ArgTo(0, VKS_ENC(FrameRate24))}};
inline constexpr RatesLayout kEncoderRates{VKS_ENC(FrameRatesSize), VKS_ENC(FrameRate),
                                           VKS_ENC(FrameRate20), VKS_ENC(FrameRate12), VKS_ENC(FrameRate24)};
inline constexpr ParamGetter kGetEncoderBitRate{kEncoderParamBlockBytes, kEncoderFlagBitRate, {VKS_ENC(BitRate)}};
inline constexpr ParamSetter kSetEncoderBitRate{kEncoderParamBlockBytes, kEncoderFlagBitRate,
                                                {ArgTo(0, VKS_ENC(BitRate))}};
inline constexpr ParamGetter kGetEncoderProfile{kEncoderParamBlockBytes, kEncoderFlagProfile, {VKS_ENC(Profile)}};
inline constexpr ParamSetter kSetEncoderProfile{kEncoderParamBlockBytes, kEncoderFlagProfile,
                                                {ArgTo(0, VKS_ENC(Profile))}};
inline constexpr ParamGetter kGetEncoderLevel{kEncoderParamBlockBytes, kEncoderFlagLevel, {VKS_ENC(Level)}};
inline constexpr ParamSetter kSetEncoderLevel{kEncoderParamBlockBytes, kEncoderFlagLevel, {ArgTo(0, VKS_ENC(Level))}};
inline constexpr ParamGetter kGetEncoderKeyFrameInterval{kEncoderParamBlockBytes, kEncoderFlagKeyFrameInterval,
                                                         {VKS_ENC(KeyFrameInterval)}};
inline constexpr ParamSetter kSetEncoderKeyFrameInterval{kEncoderParamBlockBytes, kEncoderFlagKeyFrameInterval,
                                                         {ArgTo(0, VKS_ENC(KeyFrameInterval))}};
inline constexpr ParamSetter kSetEncoderResolution{kEncoderParamBlockBytes, kEncoderFlagResolution,
                                                   {ArgTo(0, VKS_ENC(Width)), ArgTo(1, VKS_ENC(Height))}};
inline constexpr ParamSetter kSetEncoderCodec{kEncoderParamBlockBytes, kEncoderFlagCodec, {ArgTo(0, VKS_ENC(Codec))}};
inline constexpr ParamSetter kSetEncoderEncryptionType{kEncoderParamBlockBytes, kEncoderFlagEncryptionType,
                                                       {ArgTo(0, VKS_ENC(EncryptionType))}};
inline constexpr ParamSetter kSetEncoderHdcpHeader{
    kEncoderParamBlockBytes, kEncoderFlagHdcpHeader,
    {ConstTo(VKS_ENC(HdcpSize), kEncoderHdcpSubBlockBytes), ArgTo(0, VKS_ENC(HdcpHeader0)),
     ArgTo(1, VKS_ENC(HdcpHeader1))}};
inline constexpr ParamSetter kSetEncoderAudioInputChannel{
    kEncoderParamBlockBytes, kEncoderFlagAudioInput,
    {ArgTo(0, VKS_ENC(AudioInputChannel)), ConstTo(VKS_ENC(AudioInputOne), 1)}};
// Arguments in the order of the EncoderAudioParams values 1 to 4.
inline constexpr ParamSetter kSetEncoderAudioParams{
    kEncoderParamBlockBytes, kEncoderFlagAudioParams,
    {ConstTo(VKS_ENC(AudioSize), kEncoderAudioSubBlockBytes), ConstTo(VKS_ENC(AudioThirtyTwo), kEncoderAudioThirtyTwo),
     ArgTo(0, VKS_ENC(AudioValue1)), ArgTo(1, VKS_ENC(AudioValue2)), ArgTo(2, VKS_ENC(AudioValue3)),
     ArgTo(3, VKS_ENC(AudioValue4))}};

static_assert(kGetEncoderFrameRate.MinSize == 20 && kGetEncoderFrameRate.MinSubBlockSize() == 12);
static_assert(kGetEncoderBitRate.MinSize == 36 && RatesThresholds(kEncoderRates));
static_assert(kGetEncoderProfile.MinSize == 40 && kGetEncoderLevel.MinSize == 44);
static_assert(kGetEncoderKeyFrameInterval.MinSize == 46);

// --- Network stream ----------------------------------------------------------

inline constexpr ParamGetter kGetNetworkCaching{kNetworkParamBlockBytes, kNetworkFlagCaching, {VKS_NET(Caching)}};
inline constexpr ParamSetter kSetNetworkCaching{kNetworkParamBlockBytes, kNetworkFlagCaching,
                                                {ArgTo(0, VKS_NET(Caching))}};
inline constexpr ParamGetter kGetNetworkCachingLimit{kNetworkParamBlockBytes, kNetworkFlagCachingLimit,
                                                     {VKS_NET(CachingLimit)}};
inline constexpr ParamSetter kSetNetworkCachingLimit{kNetworkParamBlockBytes, kNetworkFlagCachingLimit,
                                                     {ArgTo(0, VKS_NET(CachingLimit))}};
inline constexpr ParamGetter kGetNetworkJitter{kNetworkParamBlockBytes, kNetworkFlagJitter, {VKS_NET(Jitter)}};
inline constexpr ParamSetter kSetNetworkJitter{kNetworkParamBlockBytes, kNetworkFlagJitter,
                                               {ArgTo(0, VKS_NET(Jitter))}};
inline constexpr ParamGetter kGetNetworkTransport{kNetworkParamBlockBytes, kNetworkFlagTransport,
                                                  {VKS_NET(Transport)}};
inline constexpr ParamSetter kSetNetworkTransport{kNetworkParamBlockBytes, kNetworkFlagTransport,
                                                  {ArgTo(0, VKS_NET(Transport))}};
inline constexpr ParamGetter kGetNetworkProgramId{kNetworkParamBlockBytes, kNetworkFlagProgramId,
                                                  {VKS_NET(ProgramId)}};
inline constexpr ParamSetter kSetNetworkProgramId{kNetworkParamBlockBytes, kNetworkFlagProgramId,
                                                  {ArgTo(0, VKS_NET(ProgramId))}};

static_assert(kGetNetworkCaching.MinSize == 12 && kGetNetworkCachingLimit.MinSize == 16);
static_assert(kGetNetworkJitter.MinSize == 20 && kGetNetworkTransport.MinSize == 24);
static_assert(kGetNetworkProgramId.MinSize == 28);

#undef VKS_DEC
#undef VKS_ENC
#undef VKS_NET
