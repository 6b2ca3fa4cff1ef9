#include "audio/AuStreamDescription.h"

#include <gtest/gtest.h>

TEST(AuStreamDescriptionFormats, NativeStereoBytesFollowInterleaving) {
    AuStreamDescription d = AuStreamDescription::nativeStreamDescription();
    d.setChannelsPerFrame(2);
    EXPECT_EQ(d.bytesPerFrame(), 8u);
    EXPECT_EQ(d.bytesPerPacket(), 8u);
    EXPECT_TRUE(d.isNativeFormat());
    d.setIsInterleaved(false);
    EXPECT_EQ(d.bytesPerFrame(), 4u);
    EXPECT_EQ(d.bytesPerPacket(), 4u);
    EXPECT_EQ(d.formatFlags() & kAudioFormatFlagIsNonInterleaved, kAudioFormatFlagIsNonInterleaved);
    EXPECT_TRUE(d.isCanonicalFormat());
    EXPECT_FALSE(d.isNativeFormat());
}

TEST(AuStreamDescriptionFormats, InterleavingOnlyAppliesToLinearPCM) {
    AuStreamDescription d;
    d.setFormatID(0x61616320).setFormatFlags(0).setChannelsPerFrame(2); // 'aac '
    d.setIsInterleaved(false);
    EXPECT_EQ(d.formatFlags(), 0u);
}

TEST(AuStreamDescriptionFormats, CanonicalNeedsExactFlagsBitsAndFramesPerPacket) {
    AuStreamDescription d = AuStreamDescription::nativeStreamDescription();
    EXPECT_TRUE(d.isCanonicalFormat());
    d.setFormatFlags(41);
    EXPECT_TRUE(d.isCanonicalFormat());
    EXPECT_FALSE(d.isNativeFormat());
    d.setFormatFlags(9 | kAudioFormatFlagIsBigEndian);
    EXPECT_FALSE(d.isCanonicalFormat());
    d.setFormatFlags(9).setBitsPerChannel(24);
    EXPECT_FALSE(d.isCanonicalFormat());
    d.setBitsPerChannel(32).setFramesPerPacket(2);
    EXPECT_FALSE(d.isCanonicalFormat());
    EXPECT_EQ(AuStreamDescription().formatID(), kAudioFormatLinearPCM);
    EXPECT_FALSE(AuStreamDescription().isCanonicalFormat());
}

TEST(AuStreamDescriptionTexts, NativeFormatHasNoFlagWords) {
    AuStreamDescription d = AuStreamDescription::nativeStreamDescription();
    d.setChannelsPerFrame(2).setSampleRate(44100);
    EXPECT_EQ(d.description(), QStringLiteral("2ch-44100.00hz-32bit-'lpcm'"));
}

TEST(AuStreamDescriptionTexts, IntegerBigEndianPackedIsSpelledOut) {
    AuStreamDescription d;
    d.setFormatFlags(kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian |
                     kAudioFormatFlagIsPacked)
        .setChannelsPerFrame(1)
        .setBitsPerChannel(16)
        .setSampleRate(22050);
    EXPECT_EQ(d.description(),
              QStringLiteral("1ch-22050.00hz-16bit-'lpcm' signed-integer big-endian packed"));
    d.setFormatFlags(kAudioFormatFlagIsAlignedHigh);
    EXPECT_TRUE(d.description().endsWith(" unsigned-integer little-endian aligned-high"));
    d.setFormatFlags(kAudioFormatFlagIsFloat | kAudioFormatFlagIsNonInterleaved);
    EXPECT_TRUE(d.description().endsWith(" floating-point little-endian aligned-low"));
}

TEST(AuStreamDescriptionTexts, CopiesAllFieldsOfTheRecord) {
    AuStreamBasicDescription record;
    record.mSampleRate = 96000;
    record.mFormatID = kAudioFormatLinearPCM;
    record.mFormatFlags = 9;
    record.mChannelsPerFrame = 6;
    record.mReserved = 7;
    const AuStreamDescription d(record);
    EXPECT_EQ(d.audioStreamBasicDescription().mReserved, 7u);
    EXPECT_EQ(d.sampleRate(), 96000.0f);
    AuStreamDescription copy = d;
    EXPECT_TRUE(copy == d);
}
