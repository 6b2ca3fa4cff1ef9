// The player tab over a real controller and real files: the recordings table
// with its totals and the recording in progress, keys and double clicks
// reaching the player, lock, note editing in place and delete with the log
// book's names. Set NW_SHOT_DIR to keep a picture of the tab.
#include "ui/ZuPlayerTab.h"
#include "logbook/ZuDutyLog.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuFileLock.h"
#include "platform/ZuImages.h"
#include "platform/ZuPanels.h"
#include "platform/ZuScriptedAnswerer.h"
#include "platform/ZuSettings.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "playback/ZuAnalyzer.h"
#include "playback/ZuPlayer.h"
#include "recording/ZuMechanic.h"
#include "shell/ZuControler.h"
#include "support/NwAiff.h"
#include "support/NwShot.h"
#include "support/NwTestSupport.h"
#include "ui/ZuMainWindow.h"
#include "ui/ZuQtAnswerer.h"
#include "ui/ZuTableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString first = "_Nightwarden_20070315_233000~001030.aif";
const QString second = "_Nightwarden_20070316_080000~081000.aif";
const QString third = "_Nightwarden_20070316_120000~120500.aif";

QByteArray noteArea(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    file.seek(ZuPlayList::noteOffset);
    return file.read(ZuPlayList::noteLength + 1);
}

struct PlayerTabTest : testing::Test {
    void SetUp() override {
        AuHardware::install(std::make_unique<AuVirtualHardware>(
            AuVirtualHardware::defaultDevices(), AuVirtualHardware::Pacing::Stepped));
        ZuSettings::standard().setString(records, "DirectoryPath");
        ZuSettings::standard().setString(nwTestDir() + "/kept", "KeepFileKeepFolder");
        ZuSettings::standard().setString(QString(), "ProgressSoundFileName");
        QDir().mkpath(records);
        for (const QString& name : {first, second, third})
            nwWriteAiff(
                records + "/" + name, 22050, [](int64_t i) -> int16_t { return int16_t(i * 7); }, 1,
                22050.0);
        answerer = std::make_shared<ZuScriptedAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        window = std::make_unique<ZuMainWindow>(&controler, [] {});
        controler.setWindow(window.get());
        controler.awakeFromNib();
        controler.applicationDidFinishLaunching();
        window->tabs()->setCurrentIndex(1);
        QApplication::processEvents();
        tab = qobject_cast<ZuPlayerTab*>(window->tabs()->currentWidget());
        ASSERT_TRUE(tab);
        table = tab->table();
        player = controler.player();
        // The third stands for the recording in progress; named once launched,
        // since the launch removes a progress file left over from a crash.
        ZuSettings::standard().setString(records + "/" + third, "ProgressSoundFileName");
        player->renewListAndControl();
    }
    void TearDown() override {
        for (const QString& name : {first, second, third})
            ZuFileLock::unlock(records + "/" + name, nullptr);
        controler.applicationWillTerminate();
    }

    // The open note editor; closed ones linger until deleted.
    QLineEdit* editor() const {
        for (QLineEdit* edit : table->findChildren<QLineEdit*>())
            if (edit->isVisible())
                return edit;
        return nullptr;
    }
    // Typing return ends the edit; the note is written once the queued
    // commit has reached the player.
    void typeNote(const QString& text, int row) {
        QLineEdit* edit = editor();
        ASSERT_TRUE(edit);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
        const QDeadlineTimer deadline(10000);
        while (editor() || cell(row, ZuPlayList::remarkColumn).isEmpty()) {
            ASSERT_FALSE(deadline.hasExpired());
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }
    QString cell(int row, int column) const {
        return table->model()->index(row, column).data().toString();
    }
    QPushButton* button(const char* name) const { return tab->findChild<QPushButton*>(name); }
    QString labelText(const char* name) const { return tab->findChild<QLabel*>(name)->text(); }
    void doubleClick(int row, int column) {
        const QRect rect = table->visualRect(table->model()->index(row, column));
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    }
    QString logBook() const {
        QFile file(ZuDutyLog::logBookPath(records));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    QString records = nwTestDir() + "/records";
    std::shared_ptr<ZuScriptedAnswerer> answerer;
    ZuControler controler;
    std::unique_ptr<ZuMainWindow> window;
    ZuPlayerTab* tab = nullptr;
    ZuTableView* table = nullptr;
    ZuPlayer* player = nullptr;
};

} // namespace

TEST_F(PlayerTabTest, TheTableListsTheRecordingsWithTotalsAndMarksTheOneInProgress) {
    EXPECT_EQ(window->size(), QSize(510, 318));
    ASSERT_EQ(table->model()->rowCount(), 3)
        << QDir(records).entryList(QDir::Files | QDir::Hidden).join(" ").toStdString();
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), "Lock");
    EXPECT_EQ(cell(0, 1), "07.03.15");
    EXPECT_EQ(cell(0, 2), "23:30:00");
    EXPECT_EQ(cell(0, 3), "00:10:30");
    EXPECT_EQ(cell(0, 4), "40'30\"");
    EXPECT_EQ(labelText("totalFilesText"), "3");
    EXPECT_EQ(labelText("totalTimeText"), "55'30\"");
    EXPECT_TRUE(table->model()->index(2, 1).data(Qt::FontRole).value<QFont>().italic());
    EXPECT_FALSE(table->model()->index(1, 1).data(Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(table->model()->index(2, 6).data(Qt::ToolTipRole).toString(), "Recording");

    // Nothing selected: nothing to work on.
    for (const char* name :
         {"lockButton", "noteButton", "deleteButton", "playButton", "copyButton"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;

    table->selectRow(1);
    EXPECT_EQ(player->selectedFileName(), second);
    for (const char* name :
         {"lockButton", "noteButton", "deleteButton", "playButton", "copyButton"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    // The selected row's picture replaces the progress image once built.
    const QImage progress =
        ZuImages::image("ProgressImage.tif").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(player->waveView()->image(), progress);
    const QDeadlineTimer deadline(10000);
    while (player->waveView()->image() == progress) {
        ASSERT_FALSE(deadline.hasExpired());
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_TRUE(ZuAnalyzer::imageFileExistAtPath(records + "/" + second));
    nwKeepShot(window.get(), "player-selected");

    // The recording in progress offers copy only.
    table->selectRow(2);
    for (const char* name : {"lockButton", "noteButton", "deleteButton"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_TRUE(button("copyButton")->isEnabled());
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_TRUE(answerer->modalAlerts.isEmpty());
    EXPECT_TRUE(QFile::exists(records + "/" + third));
}

TEST_F(PlayerTabTest, RowsDragOutAsOneFileAndArrowsMoveTheSelection) {
    std::unique_ptr<QMimeData> mime(table->model()->mimeData(
        {table->model()->index(1, 3), table->model()->index(0, 1), table->model()->index(1, 1)}));
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->urls(), QList<QUrl>{QUrl::fromLocalFile(records + "/" + first)});
    EXPECT_EQ(table->model()->supportedDragActions(), Qt::CopyAction);

    // The mechanic reads the list while recording; a recording gone from
    // before the selected one does not move the selection to another.
    table->selectRow(1);
    ASSERT_TRUE(QFile::remove(records + "/" + first));
    controler.mechanic()->recordTotalTime();
    EXPECT_EQ(player->selectedFileName(), second);
    EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 0);
    ASSERT_TRUE(QFile::copy(records + "/" + second, records + "/" + first));
    player->renewListAndControl();
    EXPECT_EQ(table->selectionModel()->selectedRows().value(0).row(), 1);

    table->setFocus();
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(player->selectedFileName(), second);
    QTest::keyClick(table, Qt::Key_Up);
    EXPECT_EQ(player->selectedFileName(), first);
}

TEST_F(PlayerTabTest, LockingByButtonAndDoubleClickGuardsNoteAndDelete) {
    table->selectRow(0);
    EXPECT_EQ(button("lockButton")->text(), "Lock");
    button("lockButton")->click();
    EXPECT_TRUE(ZuFileLock::isLocked(records + "/" + first));
    EXPECT_EQ(cell(0, 0), "✓");
    EXPECT_EQ(player->selectedFileName(), first);
    EXPECT_EQ(button("lockButton")->text(), "Unlock");
    EXPECT_FALSE(button("noteButton")->isEnabled());
    EXPECT_FALSE(button("deleteButton")->isEnabled());

    // The delete key reaches the player, which checks the lock itself.
    player->setVerifyDelete(false);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Backspace);
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "FileRemoveError");
    EXPECT_TRUE(QFile::exists(records + "/" + first));

    // A double click on the note of a locked recording opens nothing.
    doubleClick(0, ZuPlayList::remarkColumn);
    EXPECT_EQ(editor(), nullptr);

    doubleClick(0, ZuPlayList::lockColumn);
    EXPECT_FALSE(ZuFileLock::isLocked(records + "/" + first));
    EXPECT_EQ(cell(0, 0), "");
    EXPECT_TRUE(button("deleteButton")->isEnabled());
}

TEST_F(PlayerTabTest, TheNoteIsEditedInPlaceAndWrittenIntoTheFile) {
    table->selectRow(1);
    doubleClick(1, ZuPlayList::remarkColumn);
    typeNote("door bell 02:14", 1);
    EXPECT_EQ(cell(1, ZuPlayList::remarkColumn), "door bell 02:14");
    EXPECT_TRUE(noteArea(records + "/" + second).startsWith(QByteArray("door bell 02:14\0", 16)));
    EXPECT_EQ(player->selectedFileName(), second);

    // The note button opens the same editor; a long note is cut to fit.
    button("noteButton")->click();
    typeNote(QString(200, QChar(0x00e9)), 1);
    EXPECT_EQ(cell(1, ZuPlayList::remarkColumn), QString(63, QChar(0x00e9)));
}

TEST_F(PlayerTabTest, DeleteAsksRemovesThePictureAndNamesBothInTheLogBook) {
    table->selectRow(0);
    const QString sound = records + "/" + first;
    const QDeadlineTimer deadline(10000);
    while (!ZuAnalyzer::imageFileExistAtPath(sound)) {
        ASSERT_FALSE(deadline.hasExpired());
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const QString image = ZuAnalyzer::imageFilePath(sound);

    answerer->alertAnswers = {ZuAlertButton::Alternate};
    button("deleteButton")->click();
    ASSERT_EQ(answerer->modalAlerts.size(), 1);
    EXPECT_EQ(answerer->modalAlerts[0].messageKey, "RemoveCaution");
    EXPECT_TRUE(QFile::exists(sound));

    answerer->alertAnswers = {ZuAlertButton::Default};
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_FALSE(QFile::exists(sound));
    EXPECT_FALSE(QFile::exists(image));
    EXPECT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(labelText("totalFilesText"), "2");
    EXPECT_EQ(player->deleteFile(), first);
    EXPECT_EQ(player->deleteImage(), QFileInfo(image).fileName());
    const QString log = logBook();
    EXPECT_TRUE(log.contains(first)) << log.toStdString();
    EXPECT_TRUE(log.contains(QFileInfo(image).fileName())) << log.toStdString();
    // Nothing is selected any more, so nothing more can be deleted.
    EXPECT_FALSE(button("deleteButton")->isEnabled());
}

TEST_F(PlayerTabTest, CopyAsksInTheSavePanelWithItsTwoOptions) {
    auto panels = std::make_shared<ZuQtAnswerer>();
    panels->setParent(window.get());
    ZuPanels::setAnswerer(panels);
    ZuSettings::standard().setBool(false, "AddDateName");
    ZuSettings::standard().setBool(true, "AddNoteName");
    const QString exports = nwTestDir() + "/exports";
    QDir().mkpath(exports);
    table->selectRow(0);

    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* date = dialog->findChild<QCheckBox*>("addDateCheck");
        auto* note = dialog->findChild<QCheckBox*>("addNoteCheck");
        if (!date || !note)
            return dialog->reject();
        seen << dialog->windowTitle() << date->text() << QString::number(date->isChecked())
             << QString::number(note->isChecked());
        date->click();
        note->click();
        dialog->selectFile(exports + "/evening");
        nwKeepShot(dialog, "player-copy-panel");
        static_cast<QDialog*>(dialog)->accept();
    });
    button("copyButton")->click();
    ZuPanels::setAnswerer(nullptr);

    EXPECT_EQ(seen,
              (QStringList{"Export Recording", "Add the recording's times to the name", "0", "1"}));
    // The required extension is added; the options chosen are kept.
    EXPECT_EQ(QDir(exports).entryList(QDir::Files),
              QStringList{"evening_20070315_233000~001030.aif"});
    EXPECT_TRUE(ZuSettings::standard().boolForKey("AddDateName"));
    EXPECT_FALSE(ZuSettings::standard().boolForKey("AddNoteName"));
}
