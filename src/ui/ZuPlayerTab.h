#pragma once

#include <QStringList>
#include <QWidget>

class QTableWidget;
class ZuControler;

// The player tab: the recordings table with the wave view under it. The table
// lists the record folder's recordings whenever the tab is shown; selecting a
// row shows that recording's picture.
class ZuPlayerTab : public QWidget {
    Q_OBJECT
public:
    ZuPlayerTab(ZuControler* controler, QTableWidget* table, const QStringList& columnKeys,
                QWidget* parent = nullptr);

    QTableWidget* table() const { return rows; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void renewRows();
    void rowSelected();

    ZuControler* controler;
    QTableWidget* rows;
    QStringList keys;
};
