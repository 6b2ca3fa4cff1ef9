// The headless program records a tone and stops: the recording's picture is
// beside it, a TIFF file of the size the README states, showing the tone.
#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>

TEST(WavePictureRun, ARecordedToneGetsAPictureOfItsEnvelopeBesideIt) {
    const QString folder = nwTestDir() + "/records";
    NightwardenProcess run(nwTestDir());
    run.start({"--headless", "--settings", nwTestDir() + "/nightwarden.conf", "--audio", "virtual",
               "--virtual-input", "tone:440:0.5", "--set", "DirectoryPath=" + folder, "--set",
               "RecordSwitch=true", "--clock-start", "2007-03-15T10:20:00", "--quit-after", "4"});
    ASSERT_TRUE(run.waitForFinished());
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();
    const QStringList sounds = QDir(folder).entryList({"_Nightwarden_*.aif"}, QDir::Files);
    ASSERT_EQ(sounds.size(), 1) << run.output().toStdString();
    const QString picture = folder + "/." + sounds[0].mid(1).replace(".aif", ".tif");
    QImageReader reader(picture);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull())
        << picture.toStdString() << "\n"
        << QDir(folder).entryList(QDir::Files | QDir::Hidden).join('\n').toStdString();
    EXPECT_EQ(reader.format(), "tiff");
    ASSERT_EQ(image.size(), QSize(480, 72));

    // A tone of half the full scale reaches about a quarter of the height
    // above and below the centre in every column; nothing is drawn beyond.
    int envelopeColumns = 0;
    for (int x = 0; x < image.width(); ++x) {
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) != QColor(0, 255, 255))
                continue;
            if (top < 0)
                top = y;
            bottom = y;
        }
        if (top < 0)
            continue;
        EXPECT_GE(top, 15) << x;
        EXPECT_LE(bottom, 57) << x;
        envelopeColumns += top <= 22 && bottom >= 50;
    }
    EXPECT_GE(envelopeColumns, 400);
}
