#include "ui/IconedCell.h"
#include "model/GhoulSettings.h"
#include "model/Secretary.h"
#include "support/ZgTestEnvironment.h"
#include "ui/GhoulView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

TEST(IconedCell, IconIsScaledTo16AndTextFollowsIt) {
    QImage big(32, 32, QImage::Format_ARGB32);
    big.fill(Qt::red);
    QPainter(&big).fillRect(16, 0, 16, 32, Qt::blue);
    const QImage icon = IconedCell::iconImage(big);
    EXPECT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(QColor(icon.pixel(2, 8)), QColor(Qt::red));
    EXPECT_EQ(QColor(icon.pixel(13, 8)), QColor(Qt::blue));

    QImage exact(16, 16, QImage::Format_ARGB32);
    exact.fill(Qt::green);
    EXPECT_EQ(IconedCell::iconImage(exact), exact);

    const QRect cell(40, 60, 200, 20);
    EXPECT_EQ(IconedCell::iconRect(cell), QRect(43, 60, 16, 16));
    EXPECT_EQ(IconedCell::textRect(cell, true), QRect(QPoint(62, 60), QPoint(239, 79)));
    EXPECT_EQ(IconedCell::textRect(cell, false), QRect(QPoint(43, 60), QPoint(239, 79)));
}

class GhoulViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        secretary.acceptDrop({env.writeEntry("Mail")});
        secretary.acceptDrop({env.writeEntry("Notes")});
        secretary.tableViewSelectionDidChange(-1);
        view.setSecretary(&secretary);
        view.resize(400, 200);
    }
    void press(Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
    }

    ZgTestEnvironment env;
    GhoulSettings settings{env.settingsFile()};
    Secretary secretary{settings};
    GhoulView view;
};

TEST_F(GhoulViewTest, DeleteRemovesTheSelectedRowOnly) {
    ASSERT_EQ(view.model()->rowCount(), 2);
    press(Qt::Key_Delete);
    EXPECT_EQ(secretary.ghoulList().size(), 2) << "no row selected";

    view.selectRow(1);
    EXPECT_EQ(secretary.selectedRow(), 1);
    EXPECT_TRUE(secretary.removeButtonEnabled());
    press(Qt::Key_Delete);
    ASSERT_EQ(secretary.ghoulList().size(), 1);
    EXPECT_EQ(secretary.ghoulList()[0].name, "Mail");
    EXPECT_EQ(view.model()->rowCount(), 1);
    EXPECT_TRUE(view.selectionModel()->selectedRows().isEmpty());

    press(Qt::Key_Down);
    EXPECT_EQ(secretary.ghoulList().size(), 1) << "other keys go to the table";
}

TEST_F(GhoulViewTest, TableShowsTheSecretarysTexts) {
    secretary.addGhoul({{"NSApplicationName", "Notes"}});
    secretary.deadGhoul({{"NSApplicationName", "Mail"}});
    secretary.renewalGhoulView();
    const QAbstractItemModel* model = view.model();
    EXPECT_EQ(model->index(0, 0).data().toString(), "Mail");
    EXPECT_EQ(model->index(0, 2).data().toString(), "Dead!");
    EXPECT_EQ(model->index(1, 2).data().toString(), "Ghoul(1)");
    EXPECT_EQ(model->index(1, 1).data().toString(),
              Secretary::birthdayText(secretary.ghoulList()[1]));
}

} // namespace
