#include "platform/ZuAlerts.h"

#include "platform/ZuHeadlessAnswerer.h"
#include "platform/ZuLocalized.h"

namespace {
std::shared_ptr<ZuAlertAnswerer>& current() {
    static std::shared_ptr<ZuAlertAnswerer> answerer = std::make_shared<ZuHeadlessAnswerer>();
    return answerer;
}
} // namespace

QString ZuAlert::message() const {
    return messageText.isEmpty() ? ZuLocalized::text(messageKey) : messageText;
}

QString ZuAlert::informative() const {
    if (!informativeText.isEmpty())
        return informativeText;
    return informativeKey.isEmpty() ? QString() : ZuLocalized::text(informativeKey);
}

ZuAlertButton ZuAlerts::run(const ZuAlert& alert) {
    return current()->runModal(alert);
}

void ZuAlerts::show(const ZuAlert& alert) {
    current()->show(alert);
}

void ZuAlerts::setAnswerer(std::shared_ptr<ZuAlertAnswerer> answerer) {
    current() = answerer ? std::move(answerer) : std::make_shared<ZuHeadlessAnswerer>();
}

std::shared_ptr<ZuAlertAnswerer> ZuAlerts::answerer() {
    return current();
}
