#include "schedule/ZuReserverElement.h"

#include "platform/ZuLocalized.h"

ZuReserverElement::ZuReserverElement() : elementName(ZuLocalized::text("NoNamedTimer")) {}

ZuReserverElement::ZuReserverElement(const QVariantList& values) {
    // Items are read by position; a short array leaves the rest at zero.
    auto item = [&values](int i) {
        return i < values.size() ? values.at(i).toInt() : 0;
    };
    elementName = values.isEmpty() ? QString() : values.at(0).toString();
    isEnabled = item(1) != 0;
    startTime = item(2);
    stopTime = item(3);
    recordMode = item(4);
    rateNumber = item(5);
    channelCount = item(6);
    recordSource = item(7);
    monthOfYear = item(8);
    dayOfMonth = item(9);
    dayOfWeek = item(10);
}

QVariantList ZuReserverElement::valueArray() const {
    return {elementName,  isEnabled ? 1 : 0, startTime,   stopTime,   recordMode, rateNumber,
            channelCount, recordSource,      monthOfYear, dayOfMonth, dayOfWeek};
}

std::unique_ptr<ZuReserverElement> ZuReserverElement::clone() const {
    return std::make_unique<ZuReserverElement>(valueArray());
}
