// A whole duty without a window on the stepped virtual device: two
// recordings, a change of the hour switch and the quit, read back from the
// log book block by block.
#include "logbook/ZuDutyLog.h"
#include "unit/recording/ZuRecorderTestSupport.h"

#include <QRegularExpression>

namespace {

class DutyLogDutyTest : public RecorderFixture {
protected:
    static void press(ZuControl& button, int state) {
        button.setState(state);
        button.perform();
    }
    QString readBook() const {
        QFile file(ZuDutyLog::logBookPath(folder()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The block whose header line holds this text, up to the next block.
    static QString blockOf(const QString& book, const QString& header) {
        const qsizetype at = book.indexOf(header);
        if (at < 0)
            return {};
        const qsizetype from = book.lastIndexOf('\n', at) + 1;
        const qsizetype to = book.indexOf(QStringLiteral("\n\n"), from);
        return book.mid(from, to < 0 ? -1 : to + 2 - from);
    }
};

} // namespace

TEST_F(DutyLogDutyTest, TwoRecordingsAndAChangedSettingAreLoggedInOrderWithNothingLost) {
    ZuSettings::standard().setInteger(0, "RecordMode");
    ZuRecorder& r = launch();
    press(r.recordButton, 1);
    run(2.0);
    press(r.recordButton, 0);
    run(1.0);
    press(r.recordButton, 1);
    run(3.0);
    press(r.recordButton, 0);
    press(r.hourButton, 1);
    controler->applicationWillTerminate();

    const QString book = readBook();
    ASSERT_TRUE(book.startsWith("\t=== Nightwarden Log Book ===\n")) << book.toStdString();
    QStringList headers;
    static const QRegularExpression header(R"(^2007\.3\.15 (\d\d:\d\d:\d\d [A-Z].*)$)");
    for (const QString& line : book.split('\n')) {
        const QRegularExpressionMatch m = header.match(line);
        if (m.hasMatch())
            headers << m.captured(1);
    }
    const QStringList expected = {
        "14:30:22 DUTY START",
        "14:30:22 RECORDING START #000001",
        "14:30:24 RECORDING STOP #000001",
        "14:30:25 RECORDING START #000002",
        "14:30:28 RECORDING STOP #000002",
        "14:30:28 ON THE HOUR SWITCH CHANGED",
        "14:30:28 DUTY FINISH",
    };
    EXPECT_EQ(headers, expected) << book.toStdString();

    EXPECT_EQ(blockOf(book, "14:30:28 ON THE HOUR SWITCH CHANGED"),
              "2007.3.15 14:30:28 ON THE HOUR SWITCH CHANGED\n\ton the hour\t= ON\n\n");
    EXPECT_TRUE(blockOf(book, "RECORDING START #000002").contains("\tstart method\t= manual\n"));
    const QString first = blockOf(book, "RECORDING STOP #000001");
    const QString second = blockOf(book, "RECORDING STOP #000002");
    EXPECT_TRUE(first.contains("\trecord time\t= 00:00'02\"\n")) << first.toStdString();
    EXPECT_TRUE(second.contains("\trecord time\t= 00:00'03\"\n")) << second.toStdString();
    for (const QString& stop : {first, second})
        EXPECT_TRUE(stop.contains("\tlost data\t= 0bytes(0.000000seconds, 0.000000%)\n"))
            << stop.toStdString();
    EXPECT_TRUE(book.endsWith("\tduty time\t= 00:00'06\"\n")) << book.toStdString();
    EXPECT_EQ(recordings().size(), 2);
}
