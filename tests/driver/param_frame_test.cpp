// The parameter commands' frames and the accessors' block handling, checked
// as pure functions over byte buffers.
#include "driver/command_channel.h"
#include "driver/param_accessors.h"
#include "driver/param_commands.h"
#include "driver/param_specs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

CommandRequest FreshRequest() { return kRequestTemplate; }
CommandReply FreshReply() { return kReplyTemplate; }

TEST(ParamFrame, GetRequestCarriesSelectorFlagsAndCapacityAfterTheHeader) {
    CommandRequest request = FreshRequest();
    BuildGetParameterRequest(request.Bytes, kParamMaximum, 0x20, 480);
    EXPECT_EQ(ReadU32(request.Bytes, 0), 2824u);
    EXPECT_EQ(ReadU32(request.Bytes, 20), 100u);
    EXPECT_EQ(ReadU32(request.Bytes, 24), 2u);
    EXPECT_EQ(ReadU32(request.Bytes, 28), 0x20u);
    EXPECT_EQ(ReadU32(request.Bytes, 32), 480u);
    EXPECT_EQ(ReadU32(request.Bytes, 36), 0u);
}

TEST(ParamFrame, ReplyLargerThanTheCapacityCopiesOnlyTheCapacity) {
    CommandReply reply = FreshReply();
    WriteU32(reply.Bytes, 32, 480);
    for (DWORD i = 4; i < 480; ++i) reply.Bytes[32 + i] = static_cast<BYTE>(i);
    std::vector<BYTE> block(64, 0xEE);
    WriteU32(block.data(), 0, 40);
    EXPECT_EQ(CopyGetParameterReply(reply.Bytes, block.data()), 40u);
    EXPECT_EQ(ReadU32(block.data(), 0), 40u);
    EXPECT_EQ(block[4], 4);
    EXPECT_EQ(block[39], 39);
    EXPECT_EQ(block[40], 0xEE) << "nothing past the capacity is written";
}

TEST(ParamFrame, ReplySmallerThanTheCapacityCopiesTheDeviceBlock) {
    CommandReply reply = FreshReply();
    WriteU32(reply.Bytes, 32, 12);
    WriteU32(reply.Bytes, 32 + 8, 0xAABBCCDD);
    WriteU32(reply.Bytes, 32 + 12, 0x11111111);  // beyond the device's block
    std::vector<BYTE> block(480, 0);
    WriteU32(block.data(), 0, 480);
    EXPECT_EQ(CopyGetParameterReply(reply.Bytes, block.data()), 12u);
    EXPECT_EQ(ReadU32(block.data(), 0), 12u);
    EXPECT_EQ(ReadU32(block.data(), 8), 0xAABBCCDDu);
    EXPECT_EQ(ReadU32(block.data(), 12), 0u);
}

TEST(ParamFrame, ReplyWithAnOversizedSizeWordStaysWithinTheReply) {
    CommandReply reply = FreshReply();
    WriteU32(reply.Bytes, 32, 0xFFFFFFFF);
    std::vector<BYTE> block(kReplyBytes, 0);
    WriteU32(block.data(), 0, 0xFFFFFFFF);
    EXPECT_EQ(CopyGetParameterReply(reply.Bytes, block.data()), kReplyBytes - 32);
}

TEST(ParamFrame, SetRequestCarriesAsManyBlockBytesAsTheSizeWordSays) {
    CommandRequest request = FreshRequest();
    std::vector<BYTE> block(64, 0x5A);
    WriteU32(block.data(), 0, 40);
    ASSERT_EQ(BuildSetParameterRequest(request.Bytes, kParamTest, 0x10, block.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(ReadU32(request.Bytes, 24), 4u);
    EXPECT_EQ(ReadU32(request.Bytes, 28), 0x10u);
    EXPECT_EQ(ReadU32(request.Bytes, 32), 40u);
    EXPECT_EQ(request.Bytes[32 + 39], 0x5A);
    EXPECT_EQ(request.Bytes[32 + 40], 0);
}

TEST(ParamFrame, SetRequestRefusesABlockThatDoesNotFit) {
    CommandRequest request = FreshRequest();
    std::vector<BYTE> block(kRequestBytes, 0);
    WriteU32(block.data(), 0, kRequestBytes - 32 + 1);
    EXPECT_EQ(BuildSetParameterRequest(request.Bytes, 0, 0x1, block.data()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(ReadU32(request.Bytes, 28), 0u);
    WriteU32(block.data(), 0, kRequestBytes - 32);
    EXPECT_EQ(BuildSetParameterRequest(request.Bytes, 0, 0x1, block.data()), VKSERROR_NO_ERROR);
}

TEST(ParamFrame, GetterBelowItsMinSizeIsUnsupportedAndWritesNothing) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
    WriteU32(block.Bytes, 40, 7);
    WriteU32(block.Bytes, 0, 55);
    uint32_t a = 1, b = 2, c = 3, d = 4;
    uint32_t* outs[] = {&a, &b, &c, &d};
    EXPECT_EQ(ReadGetterFields(kGetDecoderCropping, block.Bytes, outs), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(d, 4u);
    WriteU32(block.Bytes, 0, 56);
    EXPECT_EQ(ReadGetterFields(kGetDecoderCropping, block.Bytes, outs), VKSERROR_NO_ERROR);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(d, 0u);
}

TEST(ParamFrame, SixteenBitFieldsAreWidenedAndTruncated) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kEncoderParamBlockBytes);
    const ParamField interval = kGetEncoderKeyFrameInterval.Fields[0];
    EXPECT_EQ(interval.Offset, 44);
    EXPECT_EQ(interval.Width, 2);
    WriteParamField(block.Bytes, interval, 0x12345678);
    EXPECT_EQ(ReadU32(block.Bytes, 44), 0x5678u) << "the bytes after the field stay zero";
    EXPECT_EQ(ReadParamField(block.Bytes, interval), 0x5678u);
}

TEST(ParamFrame, EnableCroppingWithZeroResetsTheRectangleToThePicture) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
    WriteU32(block.Bytes, 0, 12);  // what a get of the picture size left behind
    WriteParamField(block.Bytes, kGetDecoderResolution.Fields[0], 1920);
    WriteParamField(block.Bytes, kGetDecoderResolution.Fields[1], 1080);
    WriteU32(block.Bytes, 40, 99);
    EXPECT_EQ(ComposeEnableCropping(block.Bytes, 0), 0x30u);
    EXPECT_EQ(ReadU32(block.Bytes, 0), 480u);
    EXPECT_EQ(ReadU32(block.Bytes, 36), 0u);
    EXPECT_EQ(ReadU32(block.Bytes, 40), 0u);
    EXPECT_EQ(ReadU32(block.Bytes, 44), 0u);
    EXPECT_EQ(ReadU32(block.Bytes, 48), 1920u);
    EXPECT_EQ(ReadU32(block.Bytes, 52), 1080u);
}

TEST(ParamFrame, EnableCroppingWithOneSetsOnlyTheSwitch) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
    WriteU32(block.Bytes, 0, 12);
    EXPECT_EQ(ComposeEnableCropping(block.Bytes, 1), 0x10u);
    EXPECT_EQ(ReadU32(block.Bytes, 0), 480u);
    EXPECT_EQ(ReadU32(block.Bytes, 36), 1u);
    EXPECT_EQ(ReadU32(block.Bytes, 48), 0u);
}

TEST(ParamFrame, SeekComposition) {
    ParamBlockBuffer block;
    NetworkSeekParams params{};
    params.Size = sizeof(params);
    params.Flags = 0;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0u);

    params.Flags = VKS_SEEK_TIME_VALID;
    params.SeekTime = 1.5;
    params.SeekPosition = 77;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x10u);
    EXPECT_EQ(ReadU32(block.Bytes, 0), 40u);
    EXPECT_EQ(ReadU32(block.Bytes, 4), 0x10u);
    EXPECT_EQ(ReadU32(block.Bytes, 28), 15000000u);
    EXPECT_EQ(ReadU64(block.Bytes, 32), 0u) << "the position is not valid";

    params.Flags = VKS_SEEK_TIME_VALID | VKS_SEEK_POSITION_VALID;
    params.SeekTime = -0.00000019;  // -1.9 units of 100 ns, truncated toward zero
    params.SeekPosition = 0x123456789ull;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x30u);
    EXPECT_EQ(ReadU32(block.Bytes, 4), 0x30u);
    EXPECT_EQ(static_cast<int32_t>(ReadU32(block.Bytes, 28)), -1);
    EXPECT_EQ(ReadU64(block.Bytes, 32), 0x123456789ull);

    params.Flags = VKS_SEEK_POSITION_VALID;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x20u);
    EXPECT_EQ(ReadU32(block.Bytes, 28), 0u);
}

TEST(ParamFrame, SeekTimeThatDoesNotFitIsRefused) {
    ParamBlockBuffer block;
    NetworkSeekParams params{};
    params.Size = sizeof(params);
    params.Flags = VKS_SEEK_TIME_VALID;
    params.SeekTime = 214.7483647;  // 2^31 - 1 units
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x10u);
    EXPECT_EQ(ReadU32(block.Bytes, 28), 0x7FFFFFFFu);
    params.SeekTime = 215.0;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0u);
    params.SeekTime = -215.0;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0u);
    params.SeekTime = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0u);
}

TEST(ParamFrame, RatesAreWrittenFieldByFieldAsTheBlockReachesThem) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kDecoderParamBlockBytes);
    WriteU32(block.Bytes, 16, 20);
    WriteU32(block.Bytes, 20, 60);  // r
    WriteU32(block.Bytes, 24, 30);  // p
    WriteU32(block.Bytes, 28, 50);  // q
    WriteU32(block.Bytes, 32, 25);  // s
    uint32_t p = 0xFF, q = 0xFF, r = 0xFF, s = 0xFF;
    WriteU32(block.Bytes, 0, 28);
    EXPECT_EQ(ReadRates(kDecoderRates, block.Bytes, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(r, 60u);
    EXPECT_EQ(p, 30u);
    EXPECT_EQ(q, 0xFFu);
    EXPECT_EQ(s, 0xFFu);
    WriteU32(block.Bytes, 0, 36);
    EXPECT_EQ(ReadRates(kDecoderRates, block.Bytes, &p, &q, &r, &s), VKSERROR_NO_ERROR);
    EXPECT_EQ(q, 50u);
    EXPECT_EQ(s, 25u);
}

// A whole block whose rates sub-block says it is shorter: the sub-block's own
// size word decides, r at 8, p at 12, q at 16, s at 20.
TEST(ParamFrame, EncoderRatesComeFromTheFrameRateSubBlock) {
    ParamBlockBuffer block;
    InitParamBlock(block.Bytes, kEncoderParamBlockBytes);
    for (DWORD offset = 12, v = 1; offset <= 24; offset += 4, ++v) WriteU32(block.Bytes, offset, v);
    uint32_t p = 0, q = 0, r = 0, s = 0;
    WriteU32(block.Bytes, 8, 12);
    EXPECT_EQ(ReadRates(kEncoderRates, block.Bytes, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(r, 1u);  // 12
    EXPECT_EQ(p, 2u);  // 16
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(s, 0u);
    WriteU32(block.Bytes, 8, 20);
    EXPECT_EQ(ReadRates(kEncoderRates, block.Bytes, &p, &q, &r, &s), VKSERROR_NO_ERROR);
    EXPECT_EQ(q, 3u);  // 20
    EXPECT_EQ(s, 4u);  // 24
}

TEST(ParamFrame, SupportAnswers) {
    uint32_t supported = 7;
    EXPECT_EQ(SupportAnswer(VKSERROR_NO_ERROR, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 1u);
    EXPECT_EQ(SupportAnswer(VKSERROR_UNSUPPORTED, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 0u);
    supported = 7;
    EXPECT_EQ(SupportAnswer(VKSERROR_NOACCESS, &supported), VKSERROR_NOACCESS);
    EXPECT_EQ(supported, 7u);
}

TEST(ParamFrame, TextMustFitWithItsTerminator) {
    EXPECT_FALSE(TextFits(nullptr, 32));
    EXPECT_TRUE(TextFits("", 32));
    const std::string fits(31, 'a'), tooLong(32, 'a');
    EXPECT_TRUE(TextFits(fits.c_str(), 32));
    EXPECT_FALSE(TextFits(tooLong.c_str(), 32));
}

// Every table entry stays inside its block.
TEST(ParamFrame, TableEntriesLieInsideTheirBlocks) {
    const ParamGetter* getters[] = {&kGetDecoderCropping,    &kGetDecoderCroppingEnabled, &kGetDecoderDeInterlace,
                                    &kGetDecoderHdcpHeader,  &kGetDecoderResolution,      &kGetDecoderSyncMode,
                                    &kGetEncoderFrameRate,   &kGetEncoderBitRate,         &kGetEncoderProfile,
                                    &kGetEncoderLevel,       &kGetEncoderKeyFrameInterval, &kGetNetworkCaching,
                                    &kGetNetworkCachingLimit, &kGetNetworkJitter,          &kGetNetworkTransport,
                                    &kGetNetworkProgramId};
    for (const ParamGetter* g : getters) {
        EXPECT_GT(g->Count, 0);
        EXPECT_LE(g->MinSize, g->BlockBytes);
        EXPECT_NE(g->Flags, 0u);
    }
    const ParamSetter* setters[] = {
        &kSetDecoderCropping,        &kSetDecoderDeInterlace,      &kSetDecoderSyncMode,
        &kSetDecoderAudioDelay,      &kSetDecoderAudioVolume,      &kSetDecoderScaling,
        &kSetDecoderRateManagement,  &kSetEncoderFrameRate,        &kSetEncoderBitRate,
        &kSetEncoderProfile,         &kSetEncoderLevel,            &kSetEncoderKeyFrameInterval,
        &kSetEncoderResolution,      &kSetEncoderCodec,            &kSetEncoderEncryptionType,
        &kSetEncoderHdcpHeader,      &kSetEncoderAudioInputChannel, &kSetEncoderAudioParams,
        &kSetNetworkCaching,         &kSetNetworkCachingLimit,     &kSetNetworkJitter,
        &kSetNetworkTransport,       &kSetNetworkProgramId};
    for (const ParamSetter* s : setters) {
        EXPECT_GT(s->ArgCount, 0);
        for (uint8_t i = 0; i < s->Count; ++i) EXPECT_LE(s->Writes[i].Field.End(), s->BlockBytes);
    }
}

}  // namespace
