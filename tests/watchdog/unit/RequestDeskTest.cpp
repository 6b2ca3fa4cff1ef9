#include "model/RequestDesk.h"
#include "model/GhoulSettings.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"

#include <gtest/gtest.h>

namespace {

class RequestDeskTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&secretary, &Secretary::editRefused,
                         [this](const QString& message) { popups << message; });
        QObject::connect(&secretary, &Secretary::showGhoulListPanel, [this] { ++shown; });
        secretary.awakeFromNib();
    }

    QStringList storedNames() {
        GhoulSettings reread(env.settingsFile());
        QStringList problems;
        QStringList names;
        for (const GhoulEntry& entry : reread.loadGhoulList(&problems))
            names << entry.name;
        return names;
    }

    ZgTestEnvironment env;
    GhoulSettings settings{env.settingsFile()};
    Secretary secretary{settings};
    QStringList popups;
    int shown = 0;
};

TEST_F(RequestDeskTest, EditsChangeTheHeldListWithThePanelsRulesAndAreSaved) {
    RequestDesk desk(secretary, true);
    secretary.acceptDrop({env.writeEntry("notes")});
    secretary.addGhoul({{"NSApplicationName", "notes"}});

    InstanceReply reply = desk.answer({"add", env.writeEntry("mail")});
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.out, "Added mail.\n");
    ASSERT_EQ(secretary.ghoulList().size(), 2);
    EXPECT_EQ(storedNames(), (QStringList{"notes", "mail"}));
    EXPECT_EQ(secretary.generationOfGhoul("notes"), 1) << "the held list, not a reread file";

    reply =
        desk.answer({"add", env.writeFile("other/mail.desktop",
                                          ZgTestEnvironment::readFile(env.writeEntry("mail")))});
    EXPECT_EQ(reply.status, 1);
    EXPECT_EQ(reply.err, "mail is already watched.\n");

    reply =
        desk.answer({"add", env.writeFile("bad.desktop", "[Desktop Entry]\nType=Application\n")});
    EXPECT_EQ(reply.status, 1);
    EXPECT_TRUE(reply.err.contains("has no Exec command")) << reply.err.toStdString();
    EXPECT_TRUE(popups.isEmpty()) << "an edit by command never opens an alert in the panel";

    reply = desk.answer({"add", "mail.desktop"});
    EXPECT_EQ(reply.status, 2) << "a relative path means the asker's folder, unknown here";

    reply = desk.answer({"remove", "notes"});
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.out, "Removed notes.\n");
    EXPECT_EQ(storedNames(), QStringList{"mail"});
    EXPECT_EQ(desk.answer({"remove", "notes"}).status, 1);
}

TEST_F(RequestDeskTest, ListShowsTheHeldGenerationsNotTheStoredOnes) {
    RequestDesk desk(secretary, false);
    const QString entry = env.writeEntry("notes");
    ASSERT_TRUE(secretary.acceptDrop({entry}));
    secretary.addGhoul({{"NSApplicationName", "notes"}});
    const InstanceReply reply = desk.answer({"list", ""});
    EXPECT_EQ(reply.status, 0);
    EXPECT_EQ(reply.out, "notes\tGhoul(1)\t" + Secretary::birthdayText(secretary.ghoulList()[0]) +
                             "\t" + entry + "\n");
}

TEST_F(RequestDeskTest, ShowBringsBackThePanelWhereThereIsOne) {
    EXPECT_EQ(RequestDesk(secretary, true).answer({"show", ""}).status, 0);
    EXPECT_EQ(shown, 1);

    const InstanceReply headless = RequestDesk(secretary, false).answer({"show", ""});
    EXPECT_EQ(headless.status, 1);
    EXPECT_TRUE(headless.err.contains("without windows"));
    EXPECT_EQ(shown, 1);

    EXPECT_EQ(RequestDesk(secretary, true).answer({"explode", ""}).status, 2);
}

} // namespace
