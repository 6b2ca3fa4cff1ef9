// Notes written into a recording's note area: cut to 127 bytes at a character
// boundary, ended by a zero byte, never past the area, read back by the list.
#include "playback/ZuPlayList.h"
#include "playback/ZuPlayer.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString recording(qint64 size = 4096 + 1000) {
    const QString path = nwTestDir() + "/_Nightwarden_20070305_120000~130000.aif";
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QByteArray(size, char(0x55)));
    return path;
}

QByteArray bytesAt(const QString& path, qint64 offset, qint64 length) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    file.seek(offset);
    return file.read(length);
}

} // namespace

TEST(ZuPlayerNote, LongNotesAreCutToWholeCharactersWithin127Bytes) {
    EXPECT_EQ(ZuPlayer::noteBytes(QString(127, 'a')).size(), 127);
    EXPECT_EQ(ZuPlayer::noteBytes(QString(128, 'a')), QByteArray(127, 'a'));
    // Two-byte characters: 63 of them fill 126 bytes; half a 64th is never written.
    EXPECT_EQ(ZuPlayer::noteBytes(QString(100, QChar(0x00e9))),
              QString(63, QChar(0x00e9)).toUtf8());
    // One ASCII byte first: 1 + 63 × 2 = 127.
    EXPECT_EQ(ZuPlayer::noteBytes("x" + QString(100, QChar(0x00e9))).size(), 127);
    // Four-byte characters (two UTF-16 units each) are never split: 31 × 4 = 124.
    QString clefs;
    for (int i = 0; i < 40; ++i)
        clefs += QString::fromUcs4(U"\U0001D11E");
    const QByteArray cut = ZuPlayer::noteBytes(clefs);
    EXPECT_EQ(cut.size(), 124);
    EXPECT_EQ(QString::fromUtf8(cut), clefs.left(62));
    // A zero character would end the note early in the file: the text stops there.
    EXPECT_EQ(ZuPlayer::noteBytes(QStringLiteral("ring") + QChar(0) + "bell"), "ring");
    EXPECT_EQ(ZuPlayer::noteBytes({}), "");
}

TEST(ZuPlayerNote, TheNoteIsWrittenAtItsPlaceAndReadBack) {
    const QString path = recording();
    ASSERT_TRUE(ZuPlayer::writeNoteWithPath(path, "first note, rather long"));
    ASSERT_TRUE(ZuPlayer::writeNoteWithPath(path, "short"));
    EXPECT_EQ(ZuPlayList::noteOfFile(path), "short");
    EXPECT_EQ(bytesAt(path, 290, 1), QByteArray(1, char(0x55)));

    // The longest note ends with its zero byte as the area's last byte; the
    // header after the area is untouched and the file keeps its size.
    ASSERT_TRUE(ZuPlayer::writeNoteWithPath(path, QString(500, 'n')));
    EXPECT_EQ(bytesAt(path, ZuPlayList::noteOffset, 128), QByteArray(127, 'n') + '\0');
    EXPECT_EQ(bytesAt(path, ZuPlayList::noteOffset + 128, 1), QByteArray(1, char(0x55)));
    EXPECT_EQ(QFile(path).size(), 4096 + 1000);
    EXPECT_EQ(ZuPlayList::noteOfFile(path), QString(127, 'n'));
}

TEST(ZuPlayerNote, AFileWithoutAWholeHeaderOrNoFileIsNotWritten) {
    const QString path = recording(300);
    EXPECT_FALSE(ZuPlayer::writeNoteWithPath(path, "note"));
    EXPECT_EQ(QFile(path).size(), 300);
    EXPECT_FALSE(ZuPlayer::writeNoteWithPath(nwTestDir() + "/missing.aif", "note"));
    EXPECT_FALSE(QFile::exists(nwTestDir() + "/missing.aif"));
}
