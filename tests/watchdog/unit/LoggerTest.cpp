#include "model/Logger.h"
#include "support/ZgTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QStringList consoleLines;

void captureConsole(QtMsgType, const QMessageLogContext&, const QString& message) {
    consoleLines << message;
}

TEST(LoggerRecord, TwoLinesAndABlankLine) {
    const QDateTime date(QDate(2024, 3, 5), QTime(7, 8, 9));
    EXPECT_EQ(Logger::record(date, "Ghoulize is failed.", "Mail is dead."),
              "2024.03.05 07:08:09 --- Ghoulize is failed. ---\n\tMail is dead.\n\n");
    EXPECT_EQ(Logger::record(date, "ZuGhoulizer is started.", ""),
              "2024.03.05 07:08:09 --- ZuGhoulizer is started. ---\n\t\n\n");
}

TEST(LoggerBook, StartsAfreshAndAppendsEachRecord) {
    ZgTestEnvironment env;
    EXPECT_TRUE(Logger::defaultLogBookPath().endsWith("/Documents/ZuGhoulizer/LogBook.txt"));
    env.writeFile("home/Documents/ZuGhoulizer/LogBook.txt", "records of an earlier run\n");

    Logger logger(env.logBookFile());
    QStringList shown;
    QObject::connect(&logger, &Logger::logReloaded, [&](const QString& text) { shown << text; });
    logger.awakeFromNib();
    EXPECT_EQ(ZgTestEnvironment::readFile(env.logBookFile()), "");

    const QDateTime date(QDate(2025, 12, 31), QTime(23, 59, 58));
    EXPECT_TRUE(logger.writeLog(date, "ZuGhoulizer is started.", ""));
    EXPECT_TRUE(logger.writeLog(date, "Ghoulize is succeed.", "Mail(Generation 1) is ghoulized."));
    const QByteArray expected = "2025.12.31 23:59:58 --- ZuGhoulizer is started. ---\n\t\n\n"
                                "2025.12.31 23:59:58 --- Ghoulize is succeed. ---\n"
                                "\tMail(Generation 1) is ghoulized.\n\n";
    EXPECT_EQ(ZgTestEnvironment::readFile(env.logBookFile()), expected);

    logger.reloadLog();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], QString::fromUtf8(expected));
}

TEST(LoggerBook, EachSettingsFileHasABookOfItsOwn) {
    ZgTestEnvironment env;
    EXPECT_EQ(Logger::logBookPathFor(env.settingsFile()), env.logBookFile());
    QDir().mkpath(env.root() + "/config/ZuGhoulizer");
    EXPECT_EQ(
        Logger::logBookPathFor(env.root() + "/config/ZuGhoulizer/../ZuGhoulizer/ZuGhoulizer.conf"),
        env.logBookFile())
        << "the default settings file by another spelling";
    const QString other = env.root() + "/watch/night.conf";
    EXPECT_EQ(Logger::logBookPathFor(other), other + ".LogBook.txt");
}

TEST(LoggerBook, UnwritableBookIsReportedAndSkipped) {
    ZgTestEnvironment env;
    // A file where the folder should be: neither the folder nor the book can be made.
    env.writeFile("blocked", "");
    Logger logger(env.root() + "/blocked/LogBook.txt");
    consoleLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureConsole);
    EXPECT_FALSE(logger.initLogBook());
    EXPECT_FALSE(logger.writeLog(QDateTime::currentDateTime(), "ZuGhoulizer is started.", ""));
    qInstallMessageHandler(previous);
    EXPECT_EQ(consoleLines, (QStringList{"Log book create error.", "Log book open error."}));
}

TEST(LoggerBook, DeletedBookIsNotMadeAgainByALaterRecord) {
    ZgTestEnvironment env;
    Logger logger(env.logBookFile());
    ASSERT_TRUE(logger.initLogBook());
    ASSERT_TRUE(logger.writeLog(QDateTime::currentDateTime(), "ZuGhoulizer is started.", ""));
    ASSERT_TRUE(QFile::remove(env.logBookFile()));

    consoleLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureConsole);
    EXPECT_FALSE(
        logger.writeLog(QDateTime::currentDateTime(), "Ghoulize is failed.", "Mail is dead."));
    qInstallMessageHandler(previous);
    EXPECT_EQ(consoleLines, QStringList{"Log book open error."});
    EXPECT_FALSE(QFile::exists(env.logBookFile()));
}

} // namespace
