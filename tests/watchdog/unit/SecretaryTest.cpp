#include "model/Secretary.h"
#include "model/GhoulSettings.h"
#include "support/ZgTestEnvironment.h"

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
        bool corrupt = false;
        return reread.loadGhoulList(&corrupt);
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
    QObject::connect(&secretary, &Secretary::addRefused, [&](const QString& m) { refusals << m; });
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

TEST_F(SecretaryTest, CorruptListStartsEmptyWithAWarning) {
    const QByteArray corruptions[] = {
        "[GhoulList]\nsize=many\n",
        "[GhoulList]\nsize=1\n1\\GhoulName=Mail\n1\\GhoulBirthday=yesterday\n1\\GhoulGeneration="
        "0\n",
        "[GhoulList]\nsize=1\n1\\GhoulName=Mail\n1\\GhoulBirthday=2024-01-01T00:00:"
        "00\n1\\GhoulGeneration=x\n",
        "[GhoulList]\nsize=2\n1\\GhoulName=Mail\n1\\GhoulBirthday=2024-01-01T00:00:"
        "00\n1\\GhoulGeneration=0\n",
        "[General]\nGhoulList=Mail\n",
    };
    for (const QByteArray& text : corruptions) {
        env.writeFile("config/ZuGhoulizer/ZuGhoulizer.conf", text);
        GhoulSettings reread(env.settingsFile());
        Secretary fresh(reread);
        consoleLines.clear();
        fresh.awakeFromNib();
        EXPECT_TRUE(fresh.ghoulList().isEmpty()) << text.constData();
        ASSERT_EQ(consoleLines.size(), 1) << text.constData();
        EXPECT_TRUE(consoleLines[0].contains("corrupt"));
    }
}

TEST_F(SecretaryTest, UnknownColumnGivesNothingAndAConsoleLine) {
    secretary.newGhoulizeApplication("Mail", "/apps/Mail.desktop");
    EXPECT_FALSE(secretary.objectValueForTableColumn("Color", 0).isValid());
    EXPECT_EQ(consoleLines, QStringList{"objectValueForTableColumn error."});
}

} // namespace
