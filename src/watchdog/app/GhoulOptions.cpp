#include "app/GhoulOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <limits>

namespace {

// "INITIAL,MAXIMUM,STABLE" in milliseconds. Each must fit a timer's int.
QString parseDelays(const QString& text, RelaunchBrake::Delays* delays) {
    const QStringList parts = text.split(',');
    if (parts.size() != 3)
        return QStringLiteral("--relaunch-delays wants three positive numbers of ms");
    qint64 values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toLongLong(&ok);
        if (!ok || values[i] <= 0)
            return QStringLiteral("--relaunch-delays wants three positive numbers of ms");
        if (values[i] > std::numeric_limits<int>::max())
            return QStringLiteral("--relaunch-delays: %1 ms is too long; the most is %2 ms")
                .arg(values[i])
                .arg(std::numeric_limits<int>::max());
    }
    *delays = RelaunchBrake::Delays{values[0], values[1], values[2]};
    return QString();
}

} // namespace

int GhoulOptions::parse(const QStringList& arguments, QString* message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Relaunches the watched applications whenever they end."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("Watch without windows; records also go to the console."));
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Use FILE as the settings file."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption addOption(
        QStringLiteral("add"),
        QStringLiteral("Watch the application of a desktop entry (through the running "
                       "watchdog, if one runs on the settings file)."),
        QStringLiteral("FILE.desktop"));
    const QCommandLineOption removeOption(
        QStringLiteral("remove"), QStringLiteral("Stop watching NAME."), QStringLiteral("NAME"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("Print the watched list."));
    const QCommandLineOption delaysOption(
        QStringLiteral("relaunch-delays"),
        QStringLiteral("Crash-loop brake in ms: first wait, longest wait, stable running time "
                       "(default 1000,60000,60000)."),
        QStringLiteral("INITIAL,MAXIMUM,STABLE"));
    parser.addOptions(
        {headlessOption, settingsOption, addOption, removeOption, listOption, delaysOption});
    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *message = parser.helpText();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        *message = QStringLiteral("zughoulizer %1\n").arg(QCoreApplication::applicationVersion());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message =
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return 2;
    }
    headless = parser.isSet(headlessOption);
    settingsFile = parser.value(settingsOption);
    add = parser.values(addOption);
    remove = parser.values(removeOption);
    list = parser.isSet(listOption);
    if (parser.isSet(delaysOption)) {
        *message = parseDelays(parser.value(delaysOption), &delays);
        if (!message->isEmpty())
            return 2;
    }
    return -1;
}
