// nightwarden: the recorder, in its window or headless.
#include "app/ZuApplicationRunner.h"
#include "audio/AuDeviceListing.h"
#include "audio/ZuDevice.h"
#include "platform/ZuAlerts.h"
#include "platform/ZuClock.h"
#include "platform/ZuConsole.h"
#include "platform/ZuPanels.h"
#include "platform/ZuSettings.h"
#include "platform/ZuSignalWatch.h"
#include "platform/hal/AuHardware.h"
#include "platform/hal/pulse/AuPulseHardware.h"
#include "platform/hal/virtual/AuVirtualHardware.h"
#include "platform/hal/virtual/AuVirtualInput.h"
#include "platform/hal/virtual/AuVirtualSignal.h"
#include "shell/ZuControler.h"
#include "shell/ZuSettingsTable.h"
#include "ui/ZuMainWindow.h"
#include "ui/ZuQtAnswerer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTextStream>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>

namespace {

constexpr int usageError = 2;

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen");
}

bool wantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--headless" || arg == "--help" || arg == "-h" || arg == "--version" ||
            arg == "-v" || arg == "--list-devices")
            return true;
    }
    return !displayAvailable();
}

// The sources as the settings number them, with the names the window shows.
void writeSourceListing(QTextStream& out) {
    const ZuDevice devicer;
    const struct {
        const char* title;
        QStringList names;
        QStringList shown;
    } roles[] = {
        {"Record sources (recordSourceDevice)", devicer.usableRecordSourceNames(),
         devicer.usableJapanRecordSourceNames()},
        {"Playback and monitor sources (PlaybackSourceDevice, MonitorSourceDevice)",
         devicer.usablePlaySourceNames(), devicer.usableJapanPlaySourceNames()},
    };
    for (const auto& role : roles) {
        out << "\n" << role.title << ":\n";
        if (role.names.isEmpty())
            out << "  none\n";
        for (int i = 0; i < role.names.size(); ++i) {
            out << "  " << i << "  " << role.shown.value(i);
            if (role.shown.value(i) != role.names.at(i))
                out << " (" << role.names.at(i) << ")";
            out << "\n";
        }
    }
}

int fail(const QString& message) {
    std::fprintf(stderr, "nightwarden: %s\n", qPrintable(message));
    return usageError;
}

} // namespace

int main(int argc, char** argv) {
    // A reader of the console that has gone (a closed log pipe) only makes
    // the console writes fail; the duty goes on.
    ZuSignalWatch::ignore(SIGPIPE);
    const bool headless = wantsHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (headless)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Nightwarden"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NW_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Nightwarden: an on-duty sound recorder. It keeps the last 80 seconds of "
                       "one audio input in memory and records always, on sound, or by schedule."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headlessOption(
        "headless", "Run without a window (also the default when there is no display).");
    const QCommandLineOption audioOption(
        "audio",
        "Audio backend: pulse (the sound server; the default when one answers), portaudio or "
        "virtual.",
        "BACKEND");
    const QCommandLineOption virtualInputOption(
        "virtual-input",
        "Input of the virtual backend: silence, tone:HZ:AMP, bursts:ON_S:OFF_S:AMP or file:PATH.",
        "SPEC");
    const QCommandLineOption virtualOutputOption(
        "virtual-output",
        "Add to the virtual backend an output-only device at HZ whose sound is written to PATH "
        "(WAV); it follows the virtual device among the playback and monitor sources.",
        "HZ:PATH");
    const QCommandLineOption settingsOption(
        "settings", "Use this settings file instead of the user's.", "FILE");
    const QCommandLineOption setOption(
        "set", "Store a setting before the components load (repeatable).", "KEY=VALUE");
    const QCommandLineOption clockOption(
        "clock-start", "Start the clock at this local time, then run at real pace.",
        "YYYY-MM-DDTHH:MM:SS");
    const QCommandLineOption quitAfterOption(
        "quit-after", "Quit after this many seconds, as SIGTERM does.", "SECONDS");
    const QCommandLineOption listDevicesOption("list-devices",
                                               "List the audio devices and their sources.");
    parser.addOptions({headlessOption, audioOption, virtualInputOption, virtualOutputOption,
                       settingsOption, setOption, clockOption, quitAfterOption, listDevicesOption});
    parser.process(*app);

    // The backend is checked now and made only once every other option has
    // been found good: a mistake ends the program before it talks to any
    // sound server or driver.
    const QString backend = parser.value(audioOption);
    std::function<std::unique_ptr<AuHardware>()> makeBackend;
    if (backend == "virtual") {
        QString error;
        const auto input = AuVirtualInput::parse(
            parser.isSet(virtualInputOption) ? parser.value(virtualInputOption) : "silence",
            &error);
        // A pipe or a device would be waited on before the start, maybe for ever.
        if (input && input->kind == AuVirtualInput::Kind::File && QFileInfo::exists(input->path) &&
            !QFileInfo(input->path).isFile())
            return fail(
                QStringLiteral("--virtual-input: %1 is not a regular file.").arg(input->path));
        if (!input || (input->kind == AuVirtualInput::Kind::File &&
                       !AuVirtualSignal::fileSampleRate(input->path, &error)))
            return fail(QStringLiteral("--virtual-input: %1").arg(error));
        std::vector<AuVirtualDeviceConfig> devices = AuVirtualHardware::defaultDevices(*input);
        if (parser.isSet(virtualOutputOption)) {
            const auto output =
                AuVirtualDeviceConfig::outputToFile(parser.value(virtualOutputOption), &error);
            if (!output)
                return fail(QStringLiteral("--virtual-output: %1").arg(error));
            devices.push_back(*output);
        }
        makeBackend = [devices] {
            return std::make_unique<AuVirtualHardware>(devices);
        };
    } else if (parser.isSet(virtualInputOption)) {
        return fail("--virtual-input needs --audio virtual.");
    } else if (parser.isSet(virtualOutputOption)) {
        return fail("--virtual-output needs --audio virtual.");
    } else if (backend.isEmpty()) {
        makeBackend = [] {
            return AuHardware::createDefault();
        };
    } else if (backend == "pulse" || backend == "portaudio") {
        makeBackend = [backend] {
            auto chosen = AuHardware::create(backend);
            const auto* pulse = dynamic_cast<const AuPulseHardware*>(chosen.get());
            if (pulse && !pulse->isConnected())
                ZuConsole::line(QStringLiteral("pulse: no sound server answers yet; its devices "
                                               "come when one does."));
            return chosen;
        };
    } else {
        return fail(QStringLiteral("unknown audio backend \"%1\" (pulse, portaudio or virtual).")
                        .arg(backend));
    }
    if (parser.isSet(listDevicesOption)) {
        AuHardware::install(makeBackend());
        QTextStream out(stdout);
        auWriteDeviceListing(out);
        writeSourceListing(out);
        return 0;
    }

    if (parser.isSet(clockOption)) {
        const QDateTime start = QDateTime::fromString(parser.value(clockOption), Qt::ISODate);
        if (!start.isValid())
            return fail(QStringLiteral("--clock-start \"%1\" is not YYYY-MM-DDTHH:MM:SS.")
                            .arg(parser.value(clockOption)));
        ZuClock::startAt(start);
    }
    double quitAfter = -1.0;
    if (parser.isSet(quitAfterOption)) {
        bool ok = false;
        quitAfter = parser.value(quitAfterOption).toDouble(&ok);
        if (!ok || !std::isfinite(quitAfter) || quitAfter < 0)
            return fail(QStringLiteral("--quit-after \"%1\" is not a number of seconds.")
                            .arg(parser.value(quitAfterOption)));
        // The timer counts milliseconds in an int.
        const double longest = std::numeric_limits<int>::max() / 1000.0;
        if (quitAfter > longest)
            return fail(QStringLiteral("--quit-after \"%1\" is more than %2 seconds.")
                            .arg(parser.value(quitAfterOption))
                            .arg(static_cast<int>(longest)));
    }

    ZuSettings& store = ZuSettings::standard();
    if (parser.isSet(settingsOption))
        store.setFilePath(QFileInfo(parser.value(settingsOption)).absoluteFilePath());
    if (!store.isWritable())
        ZuConsole::line(QStringLiteral("Nightwarden: the settings file %1 cannot be written; "
                                       "changes will not be kept.")
                            .arg(store.filePath()));

    // Two recorders on one settings file would share one record folder. (The
    // settings store locks "FILE.lock" itself while it writes.)
    QDir().mkpath(QFileInfo(store.filePath()).absolutePath());
    QLockFile instanceLock(store.filePath() + ".running");
    instanceLock.setStaleLockTime(0);
    if (!instanceLock.tryLock(0)) {
        qint64 pid = 0;
        QString host, name;
        instanceLock.getLockInfo(&pid, &host, &name);
        return fail(QStringLiteral("another Nightwarden (process %1) is already running with the "
                                   "settings file %2.")
                        .arg(pid)
                        .arg(store.filePath()));
    }

    ZuSettingsTable::registerAll();
    ZuSettingsTable::registerRanges();
    for (const QString& assignment : parser.values(setOption)) {
        const int equals = assignment.indexOf('=');
        if (equals <= 0)
            return fail(QStringLiteral("--set \"%1\" is not KEY=VALUE.").arg(assignment));
        QString message;
        if (!ZuSettingsTable::storeText(assignment.left(equals), assignment.mid(equals + 1),
                                        &message))
            return fail(message + ".");
    }
    ZuSettingsTable::checkStored();
    store.synchronize();
    AuHardware::install(makeBackend());

    ZuControler controler;
    ZuApplicationRunner runner(&controler);
    controler.setApplication(&runner);
    std::unique_ptr<ZuMainWindow> window;
    if (!headless) {
        QApplication::setQuitOnLastWindowClosed(false);
        auto answerer = std::make_shared<ZuQtAnswerer>();
        ZuAlerts::setAnswerer(answerer);
        ZuPanels::setAnswerer(answerer);
        window = std::make_unique<ZuMainWindow>(&controler, [&runner] { runner.terminate(); });
        controler.setWindow(window.get());
        runner.setWindow(window.get());
        answerer->setParent(window.get());
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &runner,
                         [&controler](Qt::ApplicationState state) {
                             if (state == Qt::ApplicationActive)
                                 controler.applicationDidBecomeActive();
                         });
    }
    runner.watchSignals();
    if (quitAfter >= 0)
        runner.quitAfter(quitAfter);

    controler.awakeFromNib();
    // Without an input there is nothing to be on duty for; the alert has said so.
    if (headless && controler.devicer()->awakeError())
        return 1;
    controler.applicationDidFinishLaunching();
    if (headless)
        ZuConsole::line(QStringLiteral("Nightwarden %1 on duty without a window; settings in %2.")
                            .arg(QStringLiteral(NW_VERSION), store.filePath()));
    return QCoreApplication::exec();
}
