#include "app/GhoulProgram.h"
#include "model/GhoulSettings.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"
#include "ui/GhoulListPanel.h"
#include "workspace/InstanceClient.h"
#include "workspace/InstanceLock.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Counts the quits the application receives, from any source.
class QuitCounter : public QObject {
public:
    QuitCounter() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject* target, QEvent* event) override {
        if (target == QCoreApplication::instance() && event->type() == QEvent::Quit)
            ++count;
        return false;
    }
    int count = 0;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One watched application, so no caution alert waits for a click.
        GhoulSettings settings(env.settingsFile());
        Secretary secretary(settings);
        secretary.acceptDrop({env.writeEntry("mail")});
        ASSERT_TRUE(lock.tryLock());
        // The toolkit's own default, whatever earlier tests left.
        QGuiApplication::setQuitOnLastWindowClosed(true);
    }

    GhoulProgram::Setup setup() const {
        return GhoulProgram::Setup{env.settingsFile(), env.logBookFile(), true, {}};
    }

    // Runs the program's loop; a loop still running after a generous while
    // is ended, and reported, instead of hanging the test program.
    int execGuarded(GhoulProgram& program) {
        QTimer::singleShot(20000, &program, [this] {
            hung = true;
            QCoreApplication::quit();
        });
        return program.exec();
    }

    QString logBook() const {
        return QString::fromUtf8(ZgTestEnvironment::readFile(env.logBookFile()));
    }

    ZgTestEnvironment env;
    InstanceLock lock{env.settingsFile()};
    bool hung = false;
};

TEST_F(ProgramTest, ClosingThePanelKeepsWatchingUntilQuit) {
    GhoulProgram program(setup());
    program.launch();
    GhoulListPanel* panel = program.listPanel();
    ASSERT_TRUE(panel->isVisible());

    QuitCounter quits;
    int quitsAfterClose = -1;
    QTimer::singleShot(0, &program, [&] {
        panel->close();
        // Delivers whatever the close set off, a quit included.
        QCoreApplication::processEvents();
        quitsAfterClose = quits.count;
        EXPECT_FALSE(logBook().contains("ZuGhoulizer is stopped."));
        panel->quitButton()->click();
    });
    EXPECT_EQ(execGuarded(program), 0);
    EXPECT_FALSE(hung) << "the Quit button ends the loop";
    EXPECT_EQ(quitsAfterClose, 0) << "closing the panel does not quit";
    EXPECT_TRUE(logBook().endsWith("--- ZuGhoulizer is stopped. ---\n\t\n\n"));
    GhoulSettings settings(env.settingsFile());
    EXPECT_FALSE(settings.frame("GhoulListPanel").isEmpty());
}

TEST_F(ProgramTest, LaterStartBringsBackTheClosedPanel) {
    GhoulProgram program(setup());
    ASSERT_TRUE(program.listen(lock.serverPath()));
    program.launch();
    program.listPanel()->close();
    ASSERT_FALSE(program.listPanel()->isVisible());

    const QString settings = env.settingsFile();
    const std::optional<InstanceReply> reply = fromAnotherProcess([settings] {
        InstanceLock other(settings);
        InstanceClient client;
        if (client.lockOrConnect(other) != InstanceClient::Contact::Connected)
            return std::optional<InstanceReply>();
        return client.ask({"show", ""});
    });
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 0);
    EXPECT_TRUE(program.listPanel()->isVisible());
}

} // namespace
