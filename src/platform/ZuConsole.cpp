#include "platform/ZuConsole.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex sinkMutex;
ZuConsole::Sink& sink() {
    static ZuConsole::Sink current;
    return current;
}
} // namespace

void ZuConsole::line(const QString& text) {
    std::lock_guard lock(sinkMutex);
    if (sink()) {
        sink()(text);
        return;
    }
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

ZuConsole::Sink ZuConsole::setSink(Sink newSink) {
    std::lock_guard lock(sinkMutex);
    Sink old = std::move(sink());
    sink() = std::move(newSink);
    return old;
}
