// zughoulizer: relaunches the applications on its watched list whenever they
// end, and keeps a log book of it. One watchdog runs per settings file; later
// starts hand their list edits to it, or bring back its list panel.

#include "app/GhoulOptions.h"
#include "app/GhoulProgram.h"
#include "model/GhoulSettings.h"
#include "model/Logger.h"
#include "model/RequestDesk.h"
#include "model/Secretary.h"
#include "workspace/InstanceClient.h"
#include "workspace/InstanceLock.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

bool displayAvailable() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

int lockUnavailable(const InstanceLock& lock) {
    std::fprintf(stderr, "zughoulizer: %s.\n", qPrintable(lock.failure()));
    return 1;
}

int holderSilent(const InstanceLock& lock) {
    std::fprintf(stderr,
                 "zughoulizer: another ZuGhoulizer (PID %lld) holds %s but does not answer.\n",
                 static_cast<long long>(lock.holderPid()), qPrintable(lock.lockPath()));
    return 1;
}

// The edits and the list go to the running watchdog, which applies them to
// the list it holds and saves; with none running they are made here, under
// the lock.
int runCommands(InstanceLock& lock, const QString& settingsFile, const GhoulOptions& options) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    int status = 0;
    QList<InstanceRequest> requests;
    for (const QString& file : options.add)
        requests << InstanceRequest{QStringLiteral("add"), QFileInfo(file).absoluteFilePath()};
    for (const QString& name : options.remove)
        requests << InstanceRequest{QStringLiteral("remove"), name};
    if (options.list)
        requests << InstanceRequest{QStringLiteral("list"), QString()};
    InstanceClient client;
    const InstanceClient::Contact contact = client.lockOrConnect(lock);
    if (contact == InstanceClient::Contact::Unavailable)
        return lockUnavailable(lock);
    if (contact == InstanceClient::Contact::Silent)
        return holderSilent(lock);
    std::unique_ptr<GhoulSettings> settings;
    std::unique_ptr<Secretary> secretary;
    std::unique_ptr<RequestDesk> desk;
    if (contact == InstanceClient::Contact::Locked) {
        settings = std::make_unique<GhoulSettings>(settingsFile);
        secretary = std::make_unique<Secretary>(*settings);
        secretary->awakeFromNib();
        desk = std::make_unique<RequestDesk>(*secretary, false);
    }
    for (const InstanceRequest& request : requests) {
        const std::optional<InstanceReply> reply =
            desk ? desk->answer(request) : client.ask(request);
        if (!reply) {
            err << "zughoulizer: the running ZuGhoulizer did not answer; --list shows whether "
                   "the list changed.\n";
            return 1;
        }
        out << reply->out;
        err << reply->err;
        out.flush();
        err.flush();
        status = std::max(status, reply->status);
    }
    return status;
}

// Another watchdog runs on the settings file: a start with windows brings
// back its list panel, one without is refused.
int meetRunningWatchdog(InstanceClient& client, const InstanceLock& lock, bool windows) {
    if (!windows) {
        std::fprintf(stderr,
                     "zughoulizer: ZuGhoulizer already runs (PID %lld) on this settings file; "
                     "quit it first, or give another --settings file.\n",
                     static_cast<long long>(lock.holderPid()));
        return 1;
    }
    const std::optional<InstanceReply> reply =
        client.ask(InstanceRequest{QStringLiteral("show"), {}});
    if (!reply)
        return holderSilent(lock);
    std::fputs(qPrintable(reply->out), stdout);
    std::fputs(qPrintable(reply->err), stderr);
    return reply->status;
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

    GhoulOptions options;
    QString message;
    if (const int status = options.parse(QCoreApplication::arguments(), &message); status >= 0) {
        if (status == 0)
            std::fputs(qPrintable(message), stdout);
        else
            std::fprintf(stderr, "zughoulizer: %s\n", qPrintable(message));
        return status;
    }
    const QString settingsFile =
        options.settingsFile.isEmpty() ? GhoulSettings::defaultPath() : options.settingsFile;
    InstanceLock lock(settingsFile);
    if (commandsOnly)
        return runCommands(lock, settingsFile, options);

    InstanceClient client;
    switch (client.lockOrConnect(lock)) {
    case InstanceClient::Contact::Locked:
        break;
    case InstanceClient::Contact::Connected:
        return meetRunningWatchdog(client, lock, !windowless);
    case InstanceClient::Contact::Silent:
        return holderSilent(lock);
    case InstanceClient::Contact::Unavailable:
        return lockUnavailable(lock);
    }
    GhoulProgram program(GhoulProgram::Setup{settingsFile, Logger::logBookPathFor(settingsFile),
                                             !windowless, options.delays});
    program.listen(lock.serverPath());
    program.launch();
    return program.exec();
}
