#include "platform/hal/virtual/AuVirtualInput.h"

#include <QStringList>
#include <cmath>

namespace {

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<AuVirtualInput> fail(QString* error, const QString& reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

} // namespace

std::optional<AuVirtualInput> AuVirtualInput::parse(const QString& text, QString* error) {
    AuVirtualInput input;
    if (text == QLatin1String("silence"))
        return input;
    if (text.startsWith(QLatin1String("file:"))) {
        input.kind = Kind::File;
        input.path = text.mid(5);
        if (input.path.isEmpty())
            return fail(error, QStringLiteral("file: needs a path"));
        return input;
    }
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.first() == QLatin1String("tone")) {
        if (parts.size() != 3)
            return fail(error, QStringLiteral("tone needs tone:HZ:AMP"));
        const auto hz = number(parts[1]);
        const auto amp = number(parts[2]);
        if (!hz || *hz <= 0)
            return fail(error, QStringLiteral("tone frequency must be a positive number"));
        if (!amp || *amp < 0 || *amp > 1)
            return fail(error, QStringLiteral("tone amplitude must be between 0 and 1"));
        input.kind = Kind::Tone;
        input.frequency = *hz;
        input.amplitude = *amp;
        return input;
    }
    if (parts.first() == QLatin1String("bursts")) {
        if (parts.size() != 4)
            return fail(error, QStringLiteral("bursts needs bursts:ON_S:OFF_S:AMP"));
        const auto on = number(parts[1]);
        const auto off = number(parts[2]);
        const auto amp = number(parts[3]);
        if (!on || *on <= 0 || !off || *off < 0)
            return fail(error, QStringLiteral("burst times must be positive seconds"));
        if (!amp || *amp < 0 || *amp > 1)
            return fail(error, QStringLiteral("burst amplitude must be between 0 and 1"));
        input.kind = Kind::Bursts;
        input.onSeconds = *on;
        input.offSeconds = *off;
        input.amplitude = *amp;
        return input;
    }
    return fail(error, QStringLiteral("unknown input \"%1\": use silence, tone:HZ:AMP, "
                                      "bursts:ON_S:OFF_S:AMP or file:PATH")
                           .arg(text));
}

QString AuVirtualInput::text() const {
    switch (kind) {
    case Kind::Silence:
        return QStringLiteral("silence");
    case Kind::Tone:
        return QStringLiteral("tone:%1:%2").arg(frequency).arg(amplitude);
    case Kind::Bursts:
        return QStringLiteral("bursts:%1:%2:%3").arg(onSeconds).arg(offSeconds).arg(amplitude);
    case Kind::File:
        return QStringLiteral("file:") + path;
    }
    return {};
}
