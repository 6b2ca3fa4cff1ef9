// The marker sounds shipped with the program open with our own AIFF reader,
// and the compression trial's default sample is among them.
#include "platform/ZuPaths.h"
#include "platform/ZuSettings.h"
#include "recording/ZuAudioFile.h"
#include "shell/ZuSettingsTable.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

TEST(ShippedSoundsTest, EverySoundOpensAsShortMonoSound) {
    const QDir folder(ZuPaths::systemSoundFolder());
    const QStringList names = folder.entryList({"*.aiff"}, QDir::Files);
    ASSERT_GE(names.size(), 4) << folder.path().toStdString();
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QString error;
        auto file = ZuAudioFile::open(folder.filePath(name), ZuAudioFile::Mode::Read, &error);
        ASSERT_TRUE(file) << error.toStdString();
        EXPECT_EQ(file->dataFormat().mChannelsPerFrame, 1u);
        EXPECT_EQ(file->dataFormat().mSampleRate, 22050.0);
        EXPECT_GT(file->audioDataByteCount(), 0);
        EXPECT_LT(file->audioDataByteCount(), 22050 * 2);
    }
}

TEST(ShippedSoundsTest, TheDefaultCompressionSampleExists) {
    ZuSettingsTable::registerAll();
    const ZuSettings& store = ZuSettings::standard();
    const QString sample =
        store.stringForKey("SampleDataFilePath") + "/" + store.stringForKey("SampleDataFileName");
    EXPECT_TRUE(QFileInfo(sample).isFile()) << sample.toStdString();
}
