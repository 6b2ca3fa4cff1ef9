#include "schedule/ZuReserveList.h"

#include "audio/ZuDevice.h"
#include "platform/ZuConsole.h"
#include "platform/ZuLocalized.h"
#include "platform/ZuSettings.h"
#include "shell/ZuControler.h"

#include <QCollator>
#include <algorithm>
#include <mutex>
#include <numeric>

namespace {
QString text(const char* key) {
    return ZuLocalized::text(QString::fromLatin1(key));
}

QString everyOr(int32_t value) {
    return value == 0 ? text("EveryDay") : QString::asprintf("%d", value);
}

QString weekText(int32_t week) {
    static const char* const keys[] = {"EveryDay",  "Sunday",   "Monday", "Tuesday",
                                       "Wednesday", "Thursday", "Friday", "Saturday"};
    return week >= 0 && week <= 7 ? text(keys[week]) : QString::asprintf("%d", week);
}

QString clockText(int32_t hour, int32_t minute) {
    return QString::asprintf("%02d:%02d", hour, minute);
}

// What is wrong with one stored value array, or nothing.
QString problemOf(const QVariant& stored) {
    if (stored.typeId() != QMetaType::QVariantList)
        return QStringLiteral("is not an array");
    const QVariantList values = stored.toList();
    if (values.size() != ZuReserverElement::valueCount)
        return QStringLiteral("has %1 items instead of %2")
            .arg(values.size())
            .arg(ZuReserverElement::valueCount);
    if (values.at(0).typeId() != QMetaType::QString)
        return QStringLiteral("has a name that is not a text");
    const ZuReserverElement entry(values);
    const auto outside = [](int32_t v, int32_t low, int32_t high) {
        return v < low || v > high;
    };
    if (outside(entry.start(), 0, 86399) || outside(entry.stop(), 0, 86399))
        return QStringLiteral("has a time of day outside the day");
    if (outside(entry.mode(), 0, 1) || outside(entry.sample(), 0, 2) ||
        outside(entry.channels(), 1, 2))
        return QStringLiteral("has a mode, rate or channel count out of range");
    if (outside(entry.month(), 0, 12) || outside(entry.day(), 0, 31) || outside(entry.week(), 0, 7))
        return QStringLiteral("has a month, day or weekday out of range");
    if (entry.month() != 0 && entry.day() > QDate(2000, entry.month(), 1).daysInMonth())
        return QStringLiteral("has a day its month does not have");
    return {};
}
} // namespace

void ZuReserveList::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        ZuSettings::standard().registerDefaults({
            {"TimerList", QVariantList{QVariant(ZuReserverElement().valueArray())}},
            {"TimerDrawerState", 0},
            {"VerifyDeleteTimer", true},
        });
    });
}

const QStringList& ZuReserveList::columnKeys() {
    static const QStringList keys{"EnabledReserve", "ReserveName",  "ReserveMonth", "ReserveDay",
                                  "ReserveWeek",    "StartTime",    "StopTime",     "SampleRate",
                                  "ChannelsNumber", "SourceDevice", "RecordMode"};
    return keys;
}

ZuReserveList::ZuReserveList() {
    initialize();
}

void ZuReserveList::awakeFromNib() {
    timerList.clear();
    renewFlagList.clear();
    lastTimerList.clear();
    ZuSettings& store = ZuSettings::standard();
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    // Values are taken as stored; what would trouble the schedule is only
    // reported, once at load, and kept in range where the recorder uses it.
    // (A TimerList that is no array reads as the default; the store says so.)
    const QVariantList stored = store.arrayForKey("TimerList");
    for (qsizetype i = 0; i < stored.size(); ++i) {
        QString problem = problemOf(stored.at(i));
        const ZuReserverElement entry(stored.at(i).toList());
        if (problem.isEmpty() && devicer && devicer->recordSourceCount() > 0 &&
            devicer->checkRecordSource(entry.device()) != entry.device())
            problem = QStringLiteral("has a record source this machine does not have; "
                                     "it records from the first");
        if (!problem.isEmpty())
            ZuConsole::line(
                QStringLiteral("ZuReserveList: reservation %1 %2.").arg(i + 1).arg(problem));
        const QVariantList values = stored.at(i).toList();
        timerList.push_back(std::make_unique<ZuReserverElement>(values));
        lastTimerList.push_back(std::make_unique<ZuReserverElement>(values));
        renewFlagList.push_back(false);
    }
}

void ZuReserveList::saveUserDefaults() {
    QVariantList list;
    for (size_t i = 0; i < timerList.size(); ++i) {
        QVariantList values = timerList[i]->valueArray();
        // A source the row rebuild replaced because the stored one is missing
        // on this machine keeps its stored value.
        if (!renewFlagList[i])
            values[ZuReserverElement::deviceIndex] = lastTimerList[i]->device();
        list.append(QVariant(values));
    }
    ZuSettings::standard().setArray(list, "TimerList");
    ZuSettings::standard().synchronize();
}

ZuReserveList::Row ZuReserveList::rowOf(ZuReserverElement& entry) const {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    Row row;
    row["EnabledReserve"] = entry.enabled() ? text("CheckMark") : QString();
    row["ReserveName"] = entry.name();
    row["ReserveMonth"] = everyOr(entry.month());
    row["ReserveDay"] = everyOr(entry.day());
    row["ReserveWeek"] = weekText(entry.week());
    row["StartTime"] = clockText(entry.startHour(), entry.startMinute());
    row["StopTime"] = clockText(entry.stopHour(), entry.stopMinute());
    const double rate =
        devicer ? devicer->recordSampleRateWithSource(entry.device(), entry.sample()) : 0.0;
    row["SampleRate"] = QString::asprintf("%.3fkHz", rate / 1000.0);
    row["ChannelsNumber"] = text(entry.channels() == 1 ? "MonoralSound" : "StereoSound");
    if (devicer)
        entry.setDevice(devicer->checkRecordSource(entry.device()));
    row["SourceDevice"] =
        devicer ? devicer->japanSourceNameOfRecordSource(entry.device()) : QString();
    row["RecordMode"] = text(entry.mode() == 0 ? "AlwaysMode" : "AutoMode");
    return row;
}

void ZuReserveList::initReserveList() {
    rows.clear();
    for (const auto& entry : timerList)
        rows.push_back(rowOf(*entry));
}

QString ZuReserveList::objectValue(const QString& column, int row) const {
    if (row < 0 || row >= numberOfRows())
        return {};
    return rows[size_t(row)].value(column);
}

void ZuReserveList::setObjectValue(const QString& value, const QString& column, int row) {
    if (row >= 0 && row < numberOfRows())
        rows[size_t(row)][column] = value;
}

void ZuReserveList::sortByColumn(const QString& column, bool ascending) {
    ZuDevice* devicer = controler ? controler->devicer() : nullptr;
    QCollator collator;
    collator.setNumericMode(true);
    // The entries' own values, never their display texts, decide the order.
    const auto compare = [&](const ZuReserverElement& a, const ZuReserverElement& b) -> int {
        const auto cmp = [](auto x, auto y) {
            return x < y ? -1 : (y < x ? 1 : 0);
        };
        if (column == "EnabledReserve")
            return cmp(a.enabled(), b.enabled());
        if (column == "ReserveName")
            return collator.compare(a.name(), b.name());
        if (column == "ReserveMonth")
            return cmp(a.month(), b.month());
        if (column == "ReserveDay")
            return cmp(a.day(), b.day());
        if (column == "ReserveWeek")
            return cmp(a.week(), b.week());
        if (column == "StartTime")
            return cmp(a.start(), b.start());
        if (column == "StopTime")
            return cmp(a.stop(), b.stop());
        if (column == "SampleRate" && devicer)
            return cmp(devicer->recordSampleRateWithSource(a.device(), a.sample()),
                       devicer->recordSampleRateWithSource(b.device(), b.sample()));
        if (column == "ChannelsNumber")
            return cmp(a.channels(), b.channels());
        if (column == "SourceDevice")
            return cmp(a.device(), b.device());
        if (column == "RecordMode")
            return cmp(a.mode(), b.mode());
        return 0;
    };
    std::vector<size_t> order(timerList.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t i, size_t j) {
        const int c = compare(*timerList[i], *timerList[j]);
        return ascending ? c < 0 : c > 0;
    });
    std::vector<std::unique_ptr<ZuReserverElement>> sortedTimers;
    std::vector<std::unique_ptr<ZuReserverElement>> sortedLast;
    std::vector<bool> sortedFlags;
    for (size_t i : order) {
        sortedTimers.push_back(std::move(timerList[i]));
        sortedLast.push_back(std::move(lastTimerList[i]));
        sortedFlags.push_back(renewFlagList[i]);
    }
    timerList = std::move(sortedTimers);
    lastTimerList = std::move(sortedLast);
    renewFlagList = std::move(sortedFlags);
    initReserveList();
}
