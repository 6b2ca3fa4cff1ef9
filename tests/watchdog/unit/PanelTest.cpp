#include "model/GhoulSettings.h"
#include "model/Logger.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"
#include "ui/GhoulListPanel.h"
#include "ui/GhoulView.h"
#include "ui/LogPanel.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Saves a picture of the widget when ZG_SHOT_DIR names a folder, for looking
// at the panels under a real X server.
void keepShot(QWidget& widget, const QString& name) {
    const QString folder = qEnvironmentVariable("ZG_SHOT_DIR");
    if (!folder.isEmpty())
        widget.grab().save(folder + '/' + name + ".png");
}

class PanelTest : public ::testing::Test {
protected:
    QString entryWithIcon(const QString& name) {
        QImage icon(32, 32, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        painter.setBrush(QColor(80, 120, 200));
        painter.drawEllipse(2, 2, 28, 28);
        painter.end();
        const QString iconPath = env.root() + "/" + name + ".png";
        icon.save(iconPath);
        const QString path = env.writeEntry(name);
        QByteArray text = ZgTestEnvironment::readFile(path);
        text.replace("Icon=utilities-terminal", "Icon=" + iconPath.toUtf8());
        return env.writeFile("data/applications/" + name + ".desktop", text);
    }

    ZgTestEnvironment env;
    GhoulSettings settings{env.settingsFile()};
    Secretary secretary{settings};
    Logger logger{env.logBookFile()};
};

TEST_F(PanelTest, ListPanelFollowsTheSecretary) {
    secretary.acceptDrop({entryWithIcon("nightwarden")});
    secretary.acceptDrop({entryWithIcon("org.example.VeryLongApplicationNameThatNeedsShortening")});
    secretary.acceptDrop({env.writeEntry("mail")});
    secretary.addGhoul({{"NSApplicationName", "nightwarden"}});
    secretary.addGhoul({{"NSApplicationName", "nightwarden"}});
    secretary.deadGhoul({{"NSApplicationName", "mail"}});
    secretary.tableViewSelectionDidChange(-1);

    GhoulListPanel panel(secretary, settings);
    panel.present();
    EXPECT_FALSE(panel.removeButton()->isEnabled());
    panel.ghoulView()->selectRow(0);
    EXPECT_TRUE(panel.removeButton()->isEnabled());
    EXPECT_EQ(panel.ghoulView()->model()->rowCount(), 3);
    EXPECT_EQ(panel.ghoulView()->model()->index(0, 2).data().toString(), "Ghoul(2)");
    QApplication::processEvents();
    keepShot(panel, "list-panel");

    panel.removeButton()->click();
    EXPECT_EQ(panel.ghoulView()->model()->rowCount(), 2);
    EXPECT_FALSE(panel.removeButton()->isEnabled());
    panel.close();
    EXPECT_FALSE(settings.frame("GhoulListPanel").isEmpty()) << "the frame is kept on close";
}

TEST_F(PanelTest, TableTakesDropsOfLocalDesktopEntriesOnly) {
    GhoulView view;
    view.setSecretary(&secretary);
    view.show();
    QWidget* target = view.viewport();
    QStringList refusals;
    QObject::connect(&secretary, &Secretary::editRefused, [&](const QString& m) { refusals << m; });
    auto dragEnters = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        return enter.isAccepted();
    };
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    const QUrl remote("https://example.org/apps/mail.desktop");
    const QUrl local = QUrl::fromLocalFile(env.writeEntry("mail"));

    EXPECT_FALSE(dragEnters({remote}));
    EXPECT_FALSE(dragEnters({local, remote})) << "one item only";
    EXPECT_FALSE(drop({remote}));
    EXPECT_TRUE(refusals.isEmpty()) << "a remote file is refused before the drop, silently";
    EXPECT_TRUE(secretary.ghoulList().isEmpty());

    EXPECT_TRUE(dragEnters({local}));
    EXPECT_TRUE(drop({local}));
    ASSERT_EQ(secretary.ghoulList().size(), 1);
    EXPECT_EQ(secretary.ghoulList()[0].name, "mail");
}

TEST_F(PanelTest, LogPanelShowsTheLogBook) {
    logger.awakeFromNib();
    LogPanel panel(logger, settings);
    const QDateTime now = QDateTime::currentDateTime();
    logger.writeLog(now, "ZuGhoulizer is started.", "");
    logger.writeLog(now, "Ghoulize is succeed.", "nightwarden(Generation 1) is ghoulized.");
    logger.writeLog(now, "Ghoulize is failed.", "mail is dead.");
    logger.writeLog(now, "Ghoulize is succeed.", "mail(Generation 1) is ghoulized.");
    logger.actReadLog();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.logView()->toPlainText(),
              QString::fromUtf8(ZgTestEnvironment::readFile(env.logBookFile())));
    QApplication::processEvents();
    keepShot(panel, "log-panel");
}

} // namespace
