// The log book across runs of the headless program: a clean quit starts the
// next duty's book afresh, a killed run leaves the trouble lines to the next
// one, and with the switch off no book is touched at all.
#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString onDuty = QStringLiteral("on duty without a window");

struct LogBookRunTest : testing::Test {
    QString settings = nwTestDir() + "/nightwarden.conf";
    QString folder = nwTestDir() + "/records";
    QString book = folder + "/NightwardenLog.txt";

    QStringList arguments() const {
        return {"--headless",
                "--settings",
                settings,
                "--audio",
                "virtual",
                "--set",
                "DirectoryPath=" + folder};
    }
    QString stored(const QString& key) const {
        return QSettings(settings, QSettings::IniFormat).value(key).toString();
    }
    QString readBook() const {
        QFile file(book);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // A run that ends by itself, cleanly.
    void runBriefly(QStringList extra = {}) {
        NightwardenProcess run(nwTestDir());
        run.start(arguments() << extra << "--quit-after"
                              << "0.3");
        ASSERT_TRUE(run.waitForFinished());
        ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();
    }
};

// "2007-03-05 14:02:11 +0900" in this time zone as the book's stamp.
QString stampOfDescription(const QString& description) {
    const QDateTime date =
        QDateTime::fromString(description.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return QString::asprintf("%d.%d.%d %02d:%02d:%02d", date.date().year(), date.date().month(),
                             date.date().day(), date.time().hour(), date.time().minute(),
                             date.time().second());
}

int count(const QString& text, const QString& what) {
    return static_cast<int>(text.count(what));
}

} // namespace

TEST_F(LogBookRunTest, ACleanQuitLeavesAClosedBookAndTheNextRunStartsANewOne) {
    runBriefly();
    const QString first = readBook();
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    // No console session here: the officer is the process's user.
    EXPECT_TRUE(first.startsWith("\t=== Nightwarden Log Book ===\n\tDUTY OFFICER\t= " +
                                 QString::fromLocal8Bit(user->pw_name) + "\n\n"))
        << first.toStdString();
    EXPECT_TRUE(first.contains(" DUTY START\n"));
    EXPECT_TRUE(first.contains("\trecord folder\t= " + folder + "\n"));
    EXPECT_TRUE(first.contains("\tinput device\t= Nightwarden Virtual Device\n"));
    EXPECT_TRUE(first.contains(" DUTY FINISH\n\tduty time\t= 00:00'0"));
    EXPECT_TRUE(first.endsWith("\"\n")) << "the finish is the last block";
    EXPECT_EQ(stored("TroubleTermination"), "false");
    EXPECT_FALSE(stored("LastPatrolDate").isEmpty());

    runBriefly();
    const QString second = readBook();
    EXPECT_TRUE(second.startsWith("\t=== Nightwarden Log Book ===\n"));
    EXPECT_EQ(count(second, " DUTY START\n"), 1);
    EXPECT_EQ(count(second, "TROUBLE"), 0);
}

TEST_F(LogBookRunTest, AfterAKilledRunTheNextOneAddsTroubleStopAndRestart) {
    NightwardenProcess killed(nwTestDir());
    killed.start(arguments());
    ASSERT_TRUE(killed.waitForOutput(onDuty)) << killed.output().toStdString();
    ::kill(static_cast<pid_t>(killed.pid()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished());
    const QString before = readBook();
    ASSERT_TRUE(before.contains(" DUTY START\n"));
    EXPECT_EQ(stored("TroubleTermination"), "true");
    const QString patrol = stored("LastPatrolDate");
    ASSERT_FALSE(patrol.isEmpty());

    runBriefly();
    const QString after = readBook();
    ASSERT_TRUE(after.startsWith(before)) << after.toStdString();
    const QString added = after.mid(before.size());
    EXPECT_TRUE(added.startsWith(stampOfDescription(patrol) + " TROUBLE STOP\n\n"))
        << added.toStdString();
    const qsizetype restart = added.indexOf(" TROUBLE RESTART\n\n\tDUTY OFFICER\t= ");
    EXPECT_GT(restart, 0) << added.toStdString();
    EXPECT_EQ(count(added, " DUTY START\n"), 1);
    EXPECT_TRUE(added.contains(" DUTY FINISH\n"));
    EXPECT_EQ(stored("TroubleTermination"), "false");

    // That run ended cleanly: the next one starts a new book.
    runBriefly();
    EXPECT_TRUE(readBook().startsWith("\t=== Nightwarden Log Book ===\n"));
    EXPECT_EQ(count(readBook(), "TROUBLE"), 0);
}

TEST_F(LogBookRunTest, WithTheSwitchOffNoBookIsCreatedOrChanged) {
    runBriefly({"--set", "WriteLogBook=false"});
    EXPECT_FALSE(QFile::exists(book));

    // An old book, even after an unclean end, stays as it is.
    QDir().mkpath(folder);
    QFile file(book);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("an old duty\n");
    file.close();
    const QDateTime changed = QFileInfo(book).lastModified();
    NightwardenProcess killed(nwTestDir());
    killed.start(arguments() << "--set"
                             << "WriteLogBook=false"
                             << "--set"
                             << "TroubleTermination=true");
    ASSERT_TRUE(killed.waitForOutput(onDuty)) << killed.output().toStdString();
    ::kill(static_cast<pid_t>(killed.pid()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished());
    runBriefly({"--set", "WriteLogBook=false"});
    EXPECT_EQ(readBook(), "an old duty\n");
    EXPECT_EQ(QFileInfo(book).lastModified(), changed);
}

TEST_F(LogBookRunTest, ARunThatRecordsTwiceLogsBothRecordingsInOrder) {
    NightwardenProcess run(nwTestDir());
    run.start(arguments() << "--virtual-input"
                          << "tone:440:0.5"
                          << "--set"
                          << "RecordSwitch=true"
                          << "--set"
                          << "StartOnTheHour=false"
                          << "--set"
                          << "MaxRecordTime=3"
                          << "--clock-start"
                          << "2007-03-15T14:00:56"
                          << "--quit-after"
                          << "7");
    ASSERT_TRUE(run.waitForFinished());
    ASSERT_EQ(run.exitCode(), 0) << run.output().toStdString();

    // The blocks' header lines, stamps left out, in the order written.
    const QString text = readBook();
    QStringList headers;
    static const QRegularExpression header(R"(^2007\.3\.15 14:0[01]:\d\d (.*)$)");
    for (const QString& line : text.split('\n')) {
        const QRegularExpressionMatch m = header.match(line);
        // Reports (the split's over-record) may come between; they are not
        // what this run is about.
        if (m.hasMatch() && m.captured(1) != "REPORT HAPPEN")
            headers << m.captured(1);
    }
    EXPECT_EQ(headers,
              QStringList({"DUTY START", "RECORDING START #000001", "RECORDING STOP #000001",
                           "RECORDING START #000002", "RECORDING STOP #000002", "DUTY FINISH"}))
        << text.toStdString();
    EXPECT_TRUE(text.contains("RECORDING START #000001\n\tstart method\t= manual\n"));
    // The split at the minute's work, after the longest length has passed.
    EXPECT_TRUE(text.contains("RECORDING STOP #000001\n\tstop method\t= internal\n"
                              "\trecord time\t= 00:00'0"));
    EXPECT_TRUE(text.contains("RECORDING START #000002\n\tstart method\t= internal\n"));
    EXPECT_EQ(text.count("\tinput device\t= Nightwarden Virtual Device\n"), 3);
    // Neither file lacks a sample, split or not.
    static const QRegularExpression lost(
        R"(\tdata size\t= ([1-9]\d*)bytes\n\twrite data\t= \1bytes\n)"
        R"(\tlost data\t= 0bytes\(0\.000000seconds, 0\.000000%\)\n\n)");
    EXPECT_EQ(text.count(lost), 2) << text.toStdString();
}
