// Hiding and showing the recordings of the record folder: names, locks,
// collisions, failures, planted links and the recording in progress.
#include "ZuRecorderTestSupport.h"
#include "platform/ZuFileLock.h"
#include "playback/ZuAnalyzer.h"

#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString nameA = QStringLiteral("_Nightwarden_20070315_143022~153022.aif");
const QString nameB = QStringLiteral("_Nightwarden_20070315_153022~163022.aif");
const QString nameC = QStringLiteral(".Nightwarden_20070315_163022~173022.aif");
const QString picture = QStringLiteral(".Nightwarden_20070315_143022~153022.tif");

QString otherForm(const QString& name) {
    return (name.startsWith('.') ? QStringLiteral("_") : QStringLiteral(".")) + name.mid(1);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class MechanicHideTest : public testing::TestWithParam<ZuFileLock::Method> {
protected:
    void SetUp() override {
        ZuFileLock::setMethod(GetParam());
        mechanic.setDirPath(nwTestDir() + "/Rec");
        if (GetParam() == ZuFileLock::Method::ImmutableFlag) {
            const QString probe = make("probe", "x");
            if (!ZuFileLock::lock(probe) || !ZuFileLock::unlock(probe))
                GTEST_SKIP() << "the immutable flag cannot be set here";
            QFile::remove(probe);
        }
    }
    // Nothing is left locked for the test folder's removal.
    void TearDown() override {
        ZuFileLock::unlock(folder());
        ::chmod(QFile::encodeName(folder()).constData(), 0755);
        for (const QString& path : touched)
            if (ZuFileLock::isLocked(path))
                ZuFileLock::unlock(path);
        for (const QString& name : QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden |
                                                            QDir::System | QDir::NoDotAndDotDot))
            if (ZuFileLock::isLocked(folder() + "/" + name))
                ZuFileLock::unlock(folder() + "/" + name);
        ZuFileLock::setMethod(ZuFileLock::Method::Automatic);
    }

    QString folder() const { return mechanic.recordFolder(); }
    QString inFolder(const QString& name) const { return folder() + "/" + name; }
    QString make(const QString& name, const QByteArray& content) {
        const QString path = inFolder(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QStringList names() const {
        return QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    ZuMechanic mechanic;
    QStringList touched;
};

} // namespace

TEST_P(MechanicHideTest, HidingAndShowingGiveBackTheNamesWithTheirLocksAndContent) {
    make(nameA, "a");
    make(nameB, "b");
    make(nameC, "c");
    make(picture, "picture");
    make("notes.txt", "n");
    make(".NightwardenTempFile", "t");
    ASSERT_TRUE(mechanic.lockFile(nameA));

    EXPECT_TRUE(mechanic.changeHiddenSoundFiles(true).isEmpty());
    EXPECT_EQ(names(), (QStringList{".NightwardenTempFile", otherForm(nameA), picture,
                                    otherForm(nameB), nameC, "notes.txt"}));
    EXPECT_TRUE(mechanic.isLockedFile(otherForm(nameA)));
    EXPECT_FALSE(mechanic.isLockedFile(otherForm(nameB)));
    EXPECT_EQ(contentOf(inFolder(otherForm(nameA))), "a");

    EXPECT_TRUE(mechanic.changeHiddenSoundFiles(false).isEmpty());
    EXPECT_EQ(names(), (QStringList{".NightwardenTempFile", picture, nameA, nameB, otherForm(nameC),
                                    "notes.txt"}));
    EXPECT_TRUE(mechanic.isLockedFile(nameA));
    EXPECT_FALSE(mechanic.isLockedFile(nameB));
    EXPECT_EQ(contentOf(inFolder(nameB)), "b");
    // The picture serves both forms of the name.
    EXPECT_EQ(ZuMechanic::imageFileName(nameA), picture);
    EXPECT_EQ(ZuMechanic::imageFileName(otherForm(nameA)), picture);
}

TEST_P(MechanicHideTest, ANameTakenUnderTheOtherFormIsNeverReplaced) {
    make(nameA, "visible");
    make(otherForm(nameA), "hidden");
    make(nameB, "b");
    ASSERT_TRUE(mechanic.lockFile(nameA));
    LogCapture log;
    EXPECT_EQ(mechanic.changeHiddenSoundFiles(true), QStringList{nameA});
    EXPECT_EQ(contentOf(inFolder(nameA)), "visible");
    EXPECT_EQ(contentOf(inFolder(otherForm(nameA))), "hidden");
    EXPECT_TRUE(mechanic.isLockedFile(nameA));
    // The rest goes on.
    EXPECT_TRUE(QFile::exists(inFolder(otherForm(nameB))));
    ASSERT_EQ(log.errors.size(), 1);
    EXPECT_TRUE(log.errors[0].contains(nameA + " keeps its name: " + otherForm(nameA) + " exists"))
        << log.errors[0].toStdString();
}

TEST_P(MechanicHideTest, AFolderThatRefusesRenamesLeavesEveryFileAsItWas) {
    make(nameA, "a");
    make(nameB, "b");
    ASSERT_TRUE(mechanic.lockFile(nameA));
    // The immutable flag stops renames in the folder even for root; without
    // the right to it, the folder loses its write bits.
    const QByteArray dir = QFile::encodeName(folder());
    {
        const ZuFileLock::Method method = ZuFileLock::method();
        ZuFileLock::setMethod(ZuFileLock::Method::ImmutableFlag);
        if (!ZuFileLock::lock(folder()))
            ::chmod(dir.constData(), 0555);
        ZuFileLock::setMethod(method);
    }
    if (QFile(inFolder("probe")).open(QIODevice::WriteOnly)) {
        ZuFileLock::unlock(folder());
        ::chmod(dir.constData(), 0755);
        GTEST_SKIP() << "cannot make a folder refuse renames here";
    }
    LogCapture log;
    EXPECT_EQ(mechanic.changeHiddenSoundFiles(true), (QStringList{nameA, nameB}));
    EXPECT_EQ(log.errors.size(), 2);
    EXPECT_EQ(names(), (QStringList{nameA, nameB}));
    EXPECT_TRUE(mechanic.isLockedFile(nameA));
    EXPECT_FALSE(mechanic.isLockedFile(nameB));

    ZuFileLock::unlock(folder());
    ::chmod(dir.constData(), 0755);
    EXPECT_TRUE(mechanic.changeHiddenSoundFiles(true).isEmpty());
    EXPECT_TRUE(mechanic.isLockedFile(otherForm(nameA)));
    EXPECT_FALSE(mechanic.isLockedFile(otherForm(nameB)));
}

TEST_P(MechanicHideTest, LinksPlantedUnderARecordingsNameAreNeverFollowed) {
    const QString outside = nwTestDir() + "/" + nameB;
    {
        QFile file(outside);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("elsewhere");
    }
    ASSERT_TRUE(ZuFileLock::lock(outside));
    touched.append(outside);
    ASSERT_TRUE(QFile::link(outside, inFolder(nameB)));
    ASSERT_TRUE(QFile::link(nwTestDir(), inFolder(nameA)));
    LogCapture log;
    EXPECT_EQ(mechanic.changeHiddenSoundFiles(true), (QStringList{nameA, nameB}));
    EXPECT_TRUE(QFileInfo(inFolder(nameB)).isSymLink());
    EXPECT_TRUE(QFileInfo(inFolder(nameA)).isSymLink());
    EXPECT_TRUE(ZuFileLock::isLocked(outside));
    EXPECT_EQ(contentOf(outside), "elsewhere");
    EXPECT_TRUE(QFile::exists(outside));
}

INSTANTIATE_TEST_SUITE_P(Locks, MechanicHideTest,
                         testing::Values(ZuFileLock::Method::Automatic,
                                         ZuFileLock::Method::ImmutableFlag,
                                         ZuFileLock::Method::ExtendedAttribute));

namespace {
class RecorderHideTest : public RecorderFixture {};
} // namespace

TEST_F(RecorderHideTest, TheRecordingInProgressEndsUnderTheNewFormWithNoLinkLeft) {
    ZuRecorder& r = launch();
    switchRecording(1);
    run(2.0);
    r.setHideSoundFile(true);
    EXPECT_TRUE(controler->mechanic()->changeHiddenSoundFiles(true).isEmpty());
    const QString progress = ZuSettings::standard().stringForKey("ProgressSoundFileName");
    EXPECT_TRUE(QFileInfo(progress).fileName().startsWith(".Nightwarden_"));
    EXPECT_TRUE(QFile::exists(progress));
    run(2.0);
    switchRecording(0);
    const QStringList names = recordings();
    ASSERT_EQ(names.size(), 1) << names.join(' ').toStdString();
    EXPECT_EQ(names[0], ".Nightwarden_20070315_143022~143026.aif");
    EXPECT_EQ(readSound(folder() + "/" + names[0]).rate, 22050);

    // Shown while its picture is being made: the picture still comes.
    LogCapture log;
    r.setHideSoundFile(false);
    EXPECT_TRUE(controler->mechanic()->changeHiddenSoundFiles(false).isEmpty());
    EXPECT_EQ(recordings(), QStringList{"_Nightwarden_20070315_143022~143026.aif"});
    controler->analyzer()->waitUntilDone();
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(folder() + "/" + ZuMechanic::imageFileName(names[0])));
}
