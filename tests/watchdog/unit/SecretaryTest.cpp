#include "model/Secretary.h"
#include "model/GhoulSettings.h"
#include "support/ZgTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

QStringList consoleLines;

void captureConsole(QtMsgType, const QMessageLogContext&, const QString& message) {
    consoleLines << message;
}

class SecretaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        consoleLines.clear();
        previousHandler_ = qInstallMessageHandler(captureConsole);
        secretary.awakeFromNib();
    }
    void TearDown() override { qInstallMessageHandler(previousHandler_); }

    QVariantMap info(const QString& name) { return {{"NSApplicationName", name}}; }
    QString cell(const QString& column, int row) {
        return secretary.objectValueForTableColumn(column, row).toString();
    }
    QList<GhoulEntry> stored() {
        GhoulSettings reread(env.settingsFile());
        QStringList problems;
        return reread.loadGhoulList(&problems);
    }

    ZgTestEnvironment env;
    GhoulSettings settings{env.settingsFile()};
    Secretary secretary{settings};
    QtMessageHandler previousHandler_ = nullptr;
};

TEST_F(SecretaryTest, GenerationsAndTheirCellTexts) {
    ASSERT_TRUE(secretary.newGhoulizeApplication("Mail", "/apps/Mail.desktop"));
    EXPECT_EQ(cell("GhoulName", 0), "Mail");
    EXPECT_EQ(cell("GhoulGeneration", 0), "No Ghoul");
    EXPECT_EQ(cell("GhoulBirthday", 0), "");
    EXPECT_EQ(secretary.generationOfGhoul("Mail"), 0);

    secretary.addGhoul(info("Mail"));
    EXPECT_EQ(cell("GhoulGeneration", 0), "Ghoul(1)");
    secretary.addGhoul(info("Mail"));
    EXPECT_EQ(cell("GhoulGeneration", 0), "Ghoul(2)");
    EXPECT_EQ(secretary.generationOfGhoul("Mail"), 2);
    const QDateTime birthday = secretary.ghoulList()[0].birthday;
    EXPECT_EQ(cell("GhoulBirthday", 0), birthday.toString("yyyy.MM.dd/HH:mm:ss"));

    secretary.deadGhoul(info("Mail"));
    EXPECT_EQ(cell("GhoulGeneration", 0), "Dead!");
    EXPECT_EQ(cell("GhoulBirthday", 0), "");
    EXPECT_EQ(secretary.ghoulList()[0].birthday, birthday) << "a failure keeps the birthday";
    EXPECT_EQ(secretary.generationOfGhoul("Mail"), -1);

    secretary.addGhoul(info("Mail"));
    EXPECT_EQ(cell("GhoulGeneration", 0), "Ghoul(1)");

    secretary.addGhoul(info("Unknown"));
    secretary.deadGhoul(info("Unknown"));
    EXPECT_EQ(secretary.ghoulList().size(), 1);
    EXPECT_EQ(secretary.generationOfGhoul("Unknown"), 0);
}

TEST_F(SecretaryTest, BirthdayCellUsesTheFixedLayout) {
    QSettings raw(env.settingsFile(), QSettings::IniFormat);
    raw.setValue("GhoulList/size", 1);
    raw.setValue("GhoulList/1/GhoulName", "Mail");
    raw.setValue("GhoulList/1/GhoulFullPath", "/apps/Mail.desktop");
    raw.setValue("GhoulList/1/GhoulBirthday", "2024-03-05T07:08:09.000");
    raw.setValue("GhoulList/1/GhoulGeneration", 12);
    raw.sync();
    secretary.awakeFromNib();
    EXPECT_EQ(cell("GhoulBirthday", 0), "2024.03.05/07:08:09");
    EXPECT_EQ(cell("GhoulGeneration", 0), "Ghoul(12)");
}

TEST_F(SecretaryTest, DuplicateNamesAreRefused) {
    const QString first = env.writeEntry("Mail");
    const QString other =
        env.writeFile("elsewhere/Mail.desktop", ZgTestEnvironment::readFile(first));
    QString message;
    EXPECT_EQ(secretary.addApplicationFile(first, &message), Secretary::AddOutcome::Added);
    secretary.tableViewSelectionDidChange(-1);
    EXPECT_EQ(secretary.addApplicationFile(other, &message), Secretary::AddOutcome::Duplicate);
    EXPECT_FALSE(secretary.newGhoulizeApplication("Mail", other));
    ASSERT_EQ(secretary.ghoulList().size(), 1);
    EXPECT_EQ(secretary.ghoulList()[0].fullPath, first);
    EXPECT_EQ(secretary.selectedRow(), -1) << "a refused add leaves the selection alone";
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].fullPath, first);
}

TEST_F(SecretaryTest, DropsOfOneDesktopEntryOnly) {
    const QString mail = env.writeEntry("Mail");
    const QString notes = env.writeEntry("Notes");
    const QString document = env.writeFile("letter.txt", "Dear Sir,\n");

    EXPECT_FALSE(secretary.validateDrop({mail, notes}));
    EXPECT_FALSE(secretary.acceptDrop({mail, notes}));
    EXPECT_FALSE(secretary.validateDrop({document}));
    EXPECT_FALSE(secretary.acceptDrop({document}));
    EXPECT_FALSE(secretary.validateDrop({}));
    EXPECT_FALSE(secretary.validateDrop({"https://example.org/apps/Mail.desktop"}))
        << "only local files";
    EXPECT_FALSE(secretary.validateDrop({"Mail.desktop"})) << "a name is no local path";
    EXPECT_FALSE(secretary.validateDrop({env.root() + "/missing/Mail.desktop"}));
    EXPECT_TRUE(secretary.ghoulList().isEmpty());

    EXPECT_TRUE(secretary.validateDrop({mail}));
    EXPECT_TRUE(secretary.acceptDrop({mail}));
    EXPECT_TRUE(secretary.acceptDrop({notes}));
    ASSERT_EQ(secretary.ghoulList().size(), 2);
    EXPECT_EQ(secretary.ghoulList()[1].name, "Notes") << "drops always append";
    EXPECT_EQ(secretary.selectedRow(), 1);
    EXPECT_TRUE(secretary.removeButtonEnabled());
    EXPECT_EQ(stored().size(), 2) << "an accepted drop is saved at once";
}

TEST_F(SecretaryTest, EntriesThatCannotRunAreRefusedWithTheReason) {
    struct Case {
        QByteArray contents;
        const char* reason;
    };
    const Case cases[] = {
        {"this is not a key file\x01\n[", "cannot be read"},
        {"[Desktop Entry]\nType=Application\nName=NoExec\n", "no Exec"},
        {"[Desktop Entry]\nType=Link\nName=Web\nURL=https://example.org\n",
         "not describe an application"},
        {"[Desktop Entry]\nType=Application\nName=Gone\nExec=/nonexistent/bin/gone %f\n",
         "does not exist"},
        {"[Desktop Entry]\nType=Application\nName=Quote\nExec=\"unterminated\n",
         "cannot be parsed"},
    };
    int index = 0;
    QStringList refusals;
    QObject::connect(&secretary, &Secretary::editRefused, [&](const QString& m) { refusals << m; });
    for (const Case& c : cases) {
        const QString path = env.writeFile(QString("bad/bad%1.desktop").arg(index++), c.contents);
        QString message;
        EXPECT_EQ(secretary.addApplicationFile(path, &message), Secretary::AddOutcome::Refused)
            << c.reason;
        EXPECT_TRUE(message.contains(c.reason)) << message.toStdString();
        EXPECT_FALSE(secretary.acceptDrop({path}));
    }
    EXPECT_EQ(refusals.size(), index) << "the panel's drops announce refusals, commands do not";
    EXPECT_TRUE(secretary.ghoulList().isEmpty());
    EXPECT_FALSE(QFile::exists(env.settingsFile()));
}

TEST_F(SecretaryTest, RemoveNeedsASelectionAndSaves) {
    secretary.acceptDrop({env.writeEntry("Mail")});
    secretary.acceptDrop({env.writeEntry("Notes")});
    secretary.tableViewSelectionDidChange(-1);
    EXPECT_FALSE(secretary.removeButtonEnabled());
    secretary.actRemoveGhoulizeApplication();
    EXPECT_EQ(secretary.ghoulList().size(), 2);

    secretary.tableViewSelectionDidChange(0);
    EXPECT_TRUE(secretary.removeButtonEnabled());
    secretary.actRemoveGhoulizeApplication();
    ASSERT_EQ(secretary.ghoulList().size(), 1);
    EXPECT_EQ(secretary.ghoulList()[0].name, "Notes");
    EXPECT_EQ(secretary.selectedRow(), -1);
    EXPECT_FALSE(secretary.removeButtonEnabled());
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].name, "Notes");
}

TEST_F(SecretaryTest, RelaunchCountsReachTheFileWithTheNextAddOrRemove) {
    secretary.acceptDrop({env.writeEntry("Mail")});
    secretary.addGhoul(info("Mail"));
    EXPECT_EQ(stored()[0].generation, 0);
    secretary.acceptDrop({env.writeEntry("Notes")});
    EXPECT_EQ(stored()[0].generation, 1);

    GhoulSettings again(env.settingsFile());
    Secretary restarted(again);
    restarted.awakeFromNib();
    ASSERT_EQ(restarted.ghoulList().size(), 2);
    EXPECT_EQ(restarted.ghoulList(), secretary.ghoulList());
}

TEST_F(SecretaryTest, DamagedListKeepsEveryGoodEntryAndACopyOfTheFileBeforeItIsSaved) {
    const QByteArray entry1 = "1\\GhoulName=Mail\n1\\GhoulBirthday=2024-01-01T00:00:00\n"
                              "1\\GhoulGeneration=2\n";
    const QByteArray entry3 = "3\\GhoulName=Notes\n3\\GhoulBirthday=2024-01-02T00:00:00\n"
                              "3\\GhoulGeneration=0\n";
    struct Case {
        QByteArray middle;
        const char* problem;
    };
    const Case cases[] = {
        {"2\\GhoulName=Web\n2\\GhoulBirthday=yesterday\n2\\GhoulGeneration=0\n",
         "entry 2 is skipped: its GhoulBirthday"},
        {"2\\GhoulName=Web\n2\\GhoulBirthday=2024-01-01T00:00:00\n2\\GhoulGeneration=x\n",
         "entry 2 is skipped: its GhoulGeneration"},
        {"2\\GhoulName=Mail\n2\\GhoulBirthday=2024-01-01T00:00:00\n2\\GhoulGeneration=0\n",
         "entry 2 is skipped: Mail is listed before"},
        {"", "entry 2 is skipped: it has no GhoulName"},
    };
    for (const Case& c : cases) {
        const QByteArray text = "[GhoulList]\nsize=3\n" + entry1 + c.middle + entry3;
        env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf", text);
        for (const QString& copy :
             QDir(env.root() + "/config/ZuGhoulizer").entryList({"ZuGhoulizer.conf.damaged-*"}))
            QFile::remove(env.root() + "/config/ZuGhoulizer/" + copy);
        GhoulSettings reread(env.settingsFile());
        Secretary fresh(reread);
        consoleLines.clear();
        fresh.awakeFromNib();
        ASSERT_EQ(fresh.ghoulList().size(), 2) << c.problem;
        EXPECT_EQ(fresh.ghoulList()[0].generation, 2);
        EXPECT_EQ(fresh.ghoulList()[1].name, "Notes");
        ASSERT_EQ(consoleLines.size(), 1) << c.problem;
        EXPECT_TRUE(consoleLines[0].contains(c.problem)) << consoleLines[0].toStdString();

        QString message;
        ASSERT_EQ(fresh.addApplicationFile(env.writeEntry("Clock"), &message),
                  Secretary::AddOutcome::Added)
            << message.toStdString();
        EXPECT_EQ(stored().size(), 3) << "the good entries and the new one are saved";
        const QStringList copies =
            QDir(env.root() + "/config/ZuGhoulizer").entryList({"ZuGhoulizer.conf.damaged-*"});
        ASSERT_EQ(copies.size(), 1) << c.problem;
        EXPECT_EQ(env.readFile(env.root() + "/config/ZuGhoulizer/" + copies[0]), text)
            << "the file as it was is kept";
    }
}

TEST_F(SecretaryTest, FileThatDoesNotParseIsReadAsFarAsItGoesAndSavesReportTheTruth) {
    const QByteArray text = "[GhoulList\nsize=1\n1\\GhoulName=Mail\n"
                            "1\\GhoulBirthday=2024-01-01T00:00:00\n1\\GhoulGeneration=0\n";
    env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf", text);
    GhoulSettings reread(env.settingsFile());
    Secretary fresh(reread);
    consoleLines.clear();
    fresh.awakeFromNib();
    EXPECT_EQ(consoleLines.filter("does not parse").size(), 1)
        << consoleLines.join('\n').toStdString();

    consoleLines.clear();
    QString message;
    EXPECT_EQ(fresh.addApplicationFile(env.writeEntry("Clock"), &message),
              Secretary::AddOutcome::Added)
        << message.toStdString();
    EXPECT_EQ(fresh.removeGhoulizeApplication("Clock", &message), Secretary::RemoveOutcome::Removed)
        << message.toStdString();
    EXPECT_EQ(stored().size(), fresh.ghoulList().size());
    EXPECT_TRUE(consoleLines.filter("cannot be saved").isEmpty())
        << consoleLines.join('\n').toStdString();
}

TEST_F(SecretaryTest, EditsThatCannotBeSavedAreNotMadeAndSayWhy) {
    ASSERT_TRUE(secretary.acceptDrop({env.writeEntry("Mail")}));
    // A folder where the settings file should be: it cannot be written.
    const QString blocked = env.root() + "/blocked.conf";
    QDir().mkpath(blocked);
    GhoulSettings unwritable(blocked);
    Secretary stuck(unwritable);
    stuck.awakeFromNib();
    QStringList alerts;
    QObject::connect(&stuck, &Secretary::editRefused, [&](const QString& m) { alerts << m; });

    QString message;
    EXPECT_EQ(stuck.addApplicationFile(env.writeEntry("Notes"), &message),
              Secretary::AddOutcome::Unsaved);
    EXPECT_TRUE(message.contains("cannot be saved")) << message.toStdString();
    EXPECT_TRUE(stuck.ghoulList().isEmpty()) << "the list stays as it was saved";
    EXPECT_FALSE(stuck.acceptDrop({env.writeEntry("Notes")}));
    EXPECT_EQ(alerts.size(), 1) << "the panel's drop says so";

    stuck.newGhoulizeApplication("Mail", env.writeEntry("Mail"));
    EXPECT_EQ(stuck.removeGhoulizeApplication("Mail", &message), Secretary::RemoveOutcome::Unsaved);
    EXPECT_EQ(stuck.ghoulList().size(), 1);
    EXPECT_EQ(stuck.removeGhoulizeApplication("Nobody", &message),
              Secretary::RemoveOutcome::NotWatched);
}

TEST_F(SecretaryTest, UnknownColumnGivesNothingAndAConsoleLine) {
    secretary.newGhoulizeApplication("Mail", "/apps/Mail.desktop");
    EXPECT_FALSE(secretary.objectValueForTableColumn("Color", 0).isValid());
    EXPECT_EQ(consoleLines, QStringList{"objectValueForTableColumn error."});
}

} // namespace
