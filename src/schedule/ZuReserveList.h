#pragma once

#include "schedule/ZuReserverElement.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class ZuControler;

// The reservation entries in memory, with what was loaded for each so that a
// record source replaced for display is never written back by mistake.
// timers, renewFlags and lastTimers always have the same length, and the rows
// of the table follow them in the same order after every rebuild.
class ZuReserveList {
public:
    using Row = QMap<QString, QString>;

    static void initialize();
    // The column identifiers, in the table's order: the enabled check first,
    // the name second.
    static const QStringList& columnKeys();

    ZuReserveList();
    void setControler(ZuControler* owner) { controler = owner; }

    void awakeFromNib();
    void saveUserDefaults();

    // Rebuilds the rows from the entries; checks each entry's record source
    // against the machine's sources on the way.
    void initReserveList();

    std::vector<std::unique_ptr<ZuReserverElement>>& timers() { return timerList; }
    std::vector<bool>& renewFlags() { return renewFlagList; }
    std::vector<std::unique_ptr<ZuReserverElement>>& lastTimers() { return lastTimerList; }
    const std::vector<Row>& reserveList() const { return rows; }

    // The table's data source.
    int numberOfRows() const { return static_cast<int>(rows.size()); }
    QString objectValue(const QString& column, int row) const;
    void setObjectValue(const QString& text, const QString& column, int row);
    // Orders the entries by a column's values, each entry taking its renew
    // flag and its loaded entry along, then rebuilds the rows.
    void sortByColumn(const QString& column, bool ascending);

private:
    Row rowOf(ZuReserverElement& entry) const;

    ZuControler* controler = nullptr;
    std::vector<Row> rows;
    std::vector<std::unique_ptr<ZuReserverElement>> timerList;
    std::vector<bool> renewFlagList;
    std::vector<std::unique_ptr<ZuReserverElement>> lastTimerList;
};
