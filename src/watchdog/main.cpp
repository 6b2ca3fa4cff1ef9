// zughoulizer: relaunches the applications on its watched list whenever they
// end, and keeps a log book of it.

#include "model/GhoulCommands.h"
#include "model/GhoulSettings.h"
#include "model/Ghoulizer.h"
#include "model/Logger.h"
#include "model/Secretary.h"
#include "model/Watchman.h"
#include "ui/GhoulListPanel.h"
#include "ui/LogPanel.h"
#include "workspace/QuitOnSignal.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

bool displayAvailable() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// "INITIAL,MAXIMUM,STABLE" in milliseconds.
bool parseDelays(const QString& text, RelaunchBrake::Delays* delays) {
    const QStringList parts = text.split(',');
    if (parts.size() != 3)
        return false;
    qint64 values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toLongLong(&ok);
        if (!ok || values[i] <= 0)
            return false;
    }
    *delays = RelaunchBrake::Delays{values[0], values[1], values[2]};
    return true;
}

struct Options {
    bool headless = false;
    QString settingsFile;
    QStringList add;
    QStringList remove;
    bool list = false;
    RelaunchBrake::Delays delays;
};

int parseOptions(const QStringList& arguments, Options* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Relaunches the watched applications whenever they end."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Watch without windows; records also go to the console."));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("Use FILE as the settings file."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption add(QStringLiteral("add"),
                                 QStringLiteral("Watch the application of a desktop entry."),
                                 QStringLiteral("FILE.desktop"));
    const QCommandLineOption remove(QStringLiteral("remove"), QStringLiteral("Stop watching NAME."),
                                    QStringLiteral("NAME"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the watched list."));
    const QCommandLineOption delays(
        QStringLiteral("relaunch-delays"),
        QStringLiteral("Crash-loop brake in ms: first wait, longest wait, stable running time "
                       "(default 1000,60000,60000)."),
        QStringLiteral("INITIAL,MAXIMUM,STABLE"));
    parser.addOptions({headless, settings, add, remove, list, delays});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "zughoulizer: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("zughoulizer %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "zughoulizer: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    options->headless = parser.isSet(headless);
    options->settingsFile = parser.value(settings);
    options->add = parser.values(add);
    options->remove = parser.values(remove);
    options->list = parser.isSet(list);
    if (parser.isSet(delays) && !parseDelays(parser.value(delays), &options->delays)) {
        std::fprintf(stderr, "zughoulizer: --relaunch-delays wants three positive numbers of ms\n");
        return 2;
    }
    return -1;
}

int runCommands(Secretary& secretary, const Options& options) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    GhoulCommands commands(secretary, out, err);
    int status = 0;
    for (const QString& file : options.add)
        status = std::max(status, commands.add(file));
    for (const QString& name : options.remove)
        status = std::max(status, commands.remove(name));
    if (options.list)
        status = std::max(status, commands.list());
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool commandsOnly =
        arguments.contains(QStringLiteral("--add")) ||
        arguments.contains(QStringLiteral("--remove")) ||
        arguments.contains(QStringLiteral("--list")) ||
        std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& a) {
            return a.startsWith(QLatin1String("--add=")) ||
                   a.startsWith(QLatin1String("--remove="));
        });
    const bool windowless = commandsOnly || arguments.contains(QStringLiteral("--headless")) ||
                            arguments.contains(QStringLiteral("--help")) || !displayAvailable();
    std::unique_ptr<QCoreApplication> application =
        windowless ? std::make_unique<QCoreApplication>(argc, argv)
                   : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZuGhoulizer"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    Options options;
    if (const int status = parseOptions(QCoreApplication::arguments(), &options); status >= 0)
        return status;
    options.headless = windowless;

    GhoulSettings settings(options.settingsFile.isEmpty() ? GhoulSettings::defaultPath()
                                                          : options.settingsFile);
    Secretary secretary(settings);
    secretary.awakeFromNib();
    if (commandsOnly)
        return runCommands(secretary, options);

    Logger logger;
    logger.setEchoToConsole(options.headless);
    logger.awakeFromNib();
    Workspace workspace;
    Watchman watchman(secretary, logger, workspace, options.delays);
    Ghoulizer ghoulizer(watchman, secretary);
    QuitOnSignal signals_;
    QObject::connect(&signals_, &QuitOnSignal::quitRequested, application.get(),
                     &QCoreApplication::quit);

    std::unique_ptr<GhoulListPanel> listPanel;
    std::unique_ptr<LogPanel> logPanel;
    if (options.headless) {
        ghoulizer.setAlertRunner([](const Ghoulizer::Alert& alert) {
            std::fprintf(stderr, "%s %s\n", qPrintable(alert.message),
                         qPrintable(alert.informative));
        });
    } else {
        listPanel = std::make_unique<GhoulListPanel>(secretary, settings);
        logPanel = std::make_unique<LogPanel>(logger, settings);
        QObject::connect(listPanel->logButton(), &QPushButton::clicked, &logger,
                         &Logger::actReadLog);
        QObject::connect(&ghoulizer, &Ghoulizer::saveFrames, [&] {
            listPanel->saveFrame();
            logPanel->saveFrame();
        });
        ghoulizer.setAlertRunner([&](const Ghoulizer::Alert& alert) {
            QMessageBox box(QMessageBox::Information, QStringLiteral("ZuGhoulizer"), alert.message);
            box.setInformativeText(alert.informative);
            box.addButton(alert.defaultButton, QMessageBox::AcceptRole);
            box.exec();
        });
    }
    QObject::connect(application.get(), &QCoreApplication::aboutToQuit,
                     [&] { ghoulizer.applicationShouldTerminate(); });

    ghoulizer.applicationDidFinishLaunching();
    if (listPanel)
        listPanel->present();
    return QCoreApplication::exec();
}
