// The keep tab in the main window over a real controller: kept files listed
// with totals, keys and double clicks reaching the keeper, rows dragged out
// as files, the indicator while a command runs.
#include "ui/ZuKeepTab.h"
#include "keeping/ZuKeepList.h"
#include "keeping/ZuKeeper.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuPanels.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

struct KeepTabTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(nwTestDir() + "/records", "DirectoryPath");
        ZuSettings::standard().setString(kept, "KeepFileKeepFolder");
        QDir().mkpath(kept);
        for (const char* name : {"_Nightwarden_20070315_233000~001030.aif.bz2",
                                 "_Nightwarden_20070316_080000~090000.aif.bz2",
                                 "_Nightwarden_20070316_120000~120500.aif.bz2"}) {
            QFile file(kept + "/" + name);
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(300000, 'k'));
        }
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
        QDesktopServices::setUrlHandler("file", &catcher, "open");
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        window->tabs()->setCurrentIndex(3);
        QApplication::processEvents();
        tab = qobject_cast<ZuKeepTab*>(window->tabs()->currentWidget());
    }
    void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }

    void keepPicture(const QString& name) {
        const QString dir = qEnvironmentVariable("NW_SHOT_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        window->grab().save(dir + "/" + name + ".png");
    }
    QString labelText(const char* name) const { return tab->findChild<QLabel*>(name)->text(); }

    QString kept = nwTestDir() + "/kept";
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    UrlCatcher catcher;
    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    ZuKeepTab* tab = nullptr;
};

} // namespace

TEST_F(KeepTabTest, TheTabListsTheKeptFilesWithTheirTotals) {
    ASSERT_TRUE(tab);
    EXPECT_EQ(window->size(), QSize(376, 318));
    QTableView* table = tab->table();
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(table->model()->index(0, 2).data().toString(), "00:10:30");
    EXPECT_EQ(table->model()->index(0, 3).data().toString(), "40'30\"");
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), "Date");
    EXPECT_EQ(labelText("totalFilesText"), "3");
    EXPECT_EQ(labelText("totalTimeText"), "1:45'30\"");
    EXPECT_EQ(labelText("totalSizeText"), "0.86");
    // Nothing selected: the row buttons are off.
    EXPECT_FALSE(tab->findChild<QPushButton*>("playButton")->isEnabled());
    EXPECT_FALSE(tab->findChild<QProgressBar*>("compressIndicator")->isVisible());
    table->selectRow(1);
    EXPECT_TRUE(tab->findChild<QPushButton*>("deleteButton")->isEnabled());
    keepPicture("tab-3-keeping-files");
}

TEST_F(KeepTabTest, KeysAndDoubleClicksReachTheKeeper) {
    QTableView* table = tab->table();
    table->setFocus();
    table->selectRow(1);
    EXPECT_EQ(controler.keeper()->dataView.selectedIndex(), 1);
    const QString second = kept + "/_Nightwarden_20070316_080000~090000.aif.bz2";

    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(second)});

    const QRect cell = table->visualRect(table->model()->index(1, 0));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(catcher.urls.size(), 2);

    answerer->saveAnswers = {QString()};
    QTest::keyClick(table, Qt::Key_Return, Qt::AltModifier);
    ASSERT_EQ(answerer->saveRequests.size(), 1);
    EXPECT_EQ(answerer->saveRequests[0].fileName, "_Nightwarden_20070316_080000~090000.aif.bz2");

    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(controler.keeper()->dataView.selectedIndex(), 2);
    answerer->alertAnswers = {ZuAlertButton::Default};
    QTest::keyClick(table, Qt::Key_Backspace);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "RemoveCaution");
    EXPECT_EQ(table->model()->rowCount(), 2);
    EXPECT_TRUE(QFile::exists(second));
    EXPECT_EQ(labelText("totalFilesText"), "2");
}

TEST_F(KeepTabTest, RowsDragOutAsFiles) {
    QTableView* table = tab->table();
    EXPECT_TRUE(table->dragEnabled());
    std::unique_ptr<QMimeData> mime(table->model()->mimeData({table->model()->index(2, 1)}));
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->urls(), QList<QUrl>{QUrl::fromLocalFile(
                                kept + "/_Nightwarden_20070316_120000~120500.aif.bz2")});
}

TEST_F(KeepTabTest, TheIndicatorShowsWhileACommandRuns) {
    auto* indicator = tab->findChild<QProgressBar*>("compressIndicator");
    controler.keeper()->compressIndicator.setState(1);
    EXPECT_TRUE(indicator->isVisible());
    controler.keeper()->compressIndicator.setState(0);
    EXPECT_FALSE(indicator->isVisible());
}

#include "ZuKeepTabTest.moc"
