// The reservations tab over a real controller: the table shows the stored
// entries, the drawer button opens the editor, the editor writes the
// selected entry, a header click sorts, and the switch locks the editor.
#include "ui/ZuReserverTab.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "recording/ZuRecorder.h"
#include "schedule/ZuReserveList.h"
#include "schedule/ZuReserver.h"
#include "shell/ZuControler.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct ReserverTabTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuClock::useManual(QDateTime(QDate(2007, 3, 15), QTime(9, 58, 0)));
        ZuAlerts::setAnswerer(std::make_shared<ZuScriptedAnswerer>());
        ZuSettings& store = ZuSettings::standard();
        store.setString(nwTestDir() + "/records", "DirectoryPath");
        store.setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        store.setArray(
            {QVariantList{"Night", 1, 22 * 3600, 2 * 3600, 1, 1, 1, 0, 0, 0, 0},
             QVariantList{"Morning news", 1, 10 * 3600, 10 * 3600 + 1800, 0, 2, 2, 0, 0, 0, 2}},
            "TimerList");
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        window->tabs()->setCurrentIndex(2);
        QApplication::processEvents();
        table = window->findChild<QTableView*>("reserveTable");
        drawer = window->findChild<QFrame*>("reserveDrawer");
    }
    void TearDown() override { ZuClock::useSystemTime(); }

    QString cell(int row, int column) const {
        return table->model()->index(row, column).data().toString();
    }
    void clickRow(int row) {
        const QRect rect = table->visualRect(table->model()->index(row, 2));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void keepPicture(const QString& name) {
        const QString dir = qEnvironmentVariable("NW_SHOT_DIR");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            window->grab().save(dir + "/" + name + ".png");
    }

    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    QTableView* table = nullptr;
    QFrame* drawer = nullptr;
};

} // namespace

TEST_F(ReserverTabTest, TheDrawerButtonOpensTheEditorOfTheSelectedEntry) {
    ASSERT_NE(table, nullptr);
    ASSERT_NE(drawer, nullptr);
    EXPECT_EQ(window->size(), QSize(706, 318));
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(cell(1, 1), "Morning news");
    EXPECT_EQ(cell(1, 4), ZuLocalized::text("Monday"));
    EXPECT_EQ(cell(0, 5), "22:00");
    EXPECT_FALSE(drawer->isVisible());

    QTest::mouseClick(window->findChild<QToolButton*>("drawerButton"), Qt::LeftButton);
    EXPECT_TRUE(drawer->isVisible());
    auto* name = window->findChild<QLineEdit*>("timerNameText");
    ASSERT_NE(name, nullptr);
    EXPECT_FALSE(name->isEnabled());
    clickRow(1);
    EXPECT_TRUE(name->isEnabled());
    EXPECT_EQ(name->text(), "Morning news");
    auto* source = window->findChild<QComboBox*>("timerDevicePopup");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->count(), controler.devicer()->usableJapanRecordSourceNames().size());
    auto* rate = window->findChild<QComboBox*>("timerSamplePopup");
    EXPECT_EQ(rate->count(), 3);
    EXPECT_EQ(rate->currentIndex(), 2);
    keepPicture("reservations-editor");

    name->setText("Evening news");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(cell(1, 1), "Evening news");
    EXPECT_EQ(ZuSettings::standard().arrayForKey("TimerList").at(1).toList().at(0), "Evening news");
    // A double click on the name edits it in place; one on the check
    // switches the entry off.
    const QModelIndex nameCell = table->model()->index(1, 1);
    emit table->doubleClicked(nameCell);
    auto* inPlace = table->findChild<QLineEdit*>();
    ASSERT_NE(inPlace, nullptr);
    EXPECT_EQ(inPlace->text(), "Evening news");
    // What the editor hands the table when it closes.
    ASSERT_TRUE(table->model()->setData(nameCell, "Late news"));
    EXPECT_EQ(cell(1, 1), "Late news");
    EXPECT_EQ(name->text(), "Late news");
    emit table->doubleClicked(table->model()->index(1, 0));
    EXPECT_EQ(cell(1, 0), "");
    EXPECT_EQ(ZuSettings::standard().arrayForKey("TimerList").at(1).toList().mid(0, 2),
              (QVariantList{"Late news", 0}));
    QTest::mouseClick(window->findChild<QPushButton*>("timerAddButton"), Qt::LeftButton);
    EXPECT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(cell(1, 5), "10:00");

    // Sorting by start time moves the rows with their entries.
    table->horizontalHeader()->sectionClicked(5);
    EXPECT_EQ(cell(0, 1), ZuLocalized::text("NoNamedTimer"));
    EXPECT_EQ(cell(1, 1), "Late news");
    EXPECT_EQ(cell(2, 1), "Night");
    EXPECT_EQ(controler.reserver()->elementAtIndex(2)->mode(), 1);

    // With the switch on the editor is locked.
    controler.recorder()->reserveButton.setState(1);
    controler.recorder()->reserveButton.perform();
    controler.reserver()->initControlState();
    EXPECT_FALSE(name->isEnabled());
    EXPECT_FALSE(window->findChild<QPushButton*>("timerAddButton")->isEnabled());
    controler.recorder()->reserveButton.setState(0);
    controler.recorder()->reserveButton.perform();
}
