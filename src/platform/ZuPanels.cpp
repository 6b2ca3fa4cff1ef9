#include "platform/ZuPanels.h"

#include "platform/ZuHeadlessAnswerer.h"

namespace {
std::shared_ptr<ZuPanelAnswerer>& current() {
    static std::shared_ptr<ZuPanelAnswerer> answerer = std::make_shared<ZuHeadlessAnswerer>();
    return answerer;
}
} // namespace

QStringList ZuPanels::runOpen(const ZuOpenPanelRequest& request) {
    return current()->runOpen(request);
}

QString ZuPanels::runSave(const ZuSavePanelRequest& request) {
    return current()->runSave(request);
}

void ZuPanels::setAnswerer(std::shared_ptr<ZuPanelAnswerer> answerer) {
    current() = answerer ? std::move(answerer) : std::make_shared<ZuHeadlessAnswerer>();
}
