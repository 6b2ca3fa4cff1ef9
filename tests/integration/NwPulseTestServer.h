#pragma once

#include "NightwardenProcess.h"
#include "support/NwTestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

// A private sound server (scripts/pulse-test-server) with a null sink, in a
// folder of its own, for one test; stopped when it goes.
class NwPulseTestServer {
public:
    // Without the script's low-latency reader on the sink's monitor, as on a
    // desktop, unless asked for.
    NwPulseTestServer(const QString& folder, const QString& sink, int rate,
                      bool lowLatencyReader = false)
        : folder(folder), sink(sink), rate(rate), reader(lowLatencyReader) {}
    ~NwPulseTestServer() {
        if (started)
            run({"stop"});
    }
    NwPulseTestServer(const NwPulseTestServer&) = delete;
    NwPulseTestServer& operator=(const NwPulseTestServer&) = delete;

    // Empty when the server runs; otherwise what the script said.
    QString start() {
        QProcess process;
        process.setProcessEnvironment(scriptEnvironment());
        process.start(script(), {});
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return QStringLiteral("pulse-test-server failed: ") +
                   QString::fromUtf8(process.readAllStandardError());
        started = true;
        clients = QProcessEnvironment::systemEnvironment();
        static const QRegularExpression exportLine("^export (\\w+)='(.*)'$");
        for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
            const auto match = exportLine.match(line);
            if (match.hasMatch())
                clients.insert(match.captured(1), match.captured(2));
        }
        return clients.contains("PULSE_SERVER") ? QString()
                                                : QStringLiteral("no PULSE_SERVER exported");
    }
    // What the server's clients need (PULSE_SERVER, ALSA_CONFIG_PATH, ...).
    const QProcessEnvironment& environment() const { return clients; }

    // Ends the server at once, as a crash does; start() brings it back.
    void kill() const {
        const pid_t server = serverPid();
        if (server <= 0)
            return;
        // Its end is awaited through a descriptor of the process itself.
        const int handle = int(::syscall(SYS_pidfd_open, server, 0));
        if (::kill(server, SIGKILL) == 0 && handle >= 0) {
            pollfd ended{handle, POLLIN, 0};
            ::poll(&ended, 1, 10000);
        }
        if (handle >= 0)
            ::close(handle);
    }

    // Stops the server without ending it (SIGSTOP), as a hung server does;
    // false lets it go on.
    void freeze(bool frozen) const {
        if (const pid_t server = serverPid(); server > 0)
            ::kill(server, frozen ? SIGSTOP : SIGCONT);
    }

    // Gives a Nightwarden program what it needs to reach the server.
    void prepare(NightwardenProcess& process) const {
        for (const char* name : {"PULSE_SERVER", "ALSA_CONFIG_PATH"})
            process.setEnvironmentValue(name, clients.value(name));
    }

    // The record source number of the sink's monitor on that backend.
    int monitorSource(const QString& backend) const {
        NightwardenProcess list(folder);
        prepare(list);
        list.start({"--audio", backend, "--settings", folder + "/list.conf", "--list-devices"});
        list.waitForFinished(30000);
        const QString wanted = backend == "pulse" ? "Monitor of " + sink : "nw_monitor";
        bool inRecordSources = false;
        for (const QString& line : list.output().split('\n')) {
            if (line.startsWith("Record sources"))
                inRecordSources = true;
            else if (line.isEmpty())
                inRecordSources = false;
            else if (inRecordSources && line.simplified().section(' ', 1) == wanted)
                return line.simplified().section(' ', 0, 0).toInt();
        }
        ADD_FAILURE() << "no record source " << wanted.toStdString() << " on "
                      << backend.toStdString() << ":\n"
                      << list.output().toStdString();
        return -1;
    }

private:
    pid_t serverPid() const {
        QFile pids(folder + "/pulse/pids");
        if (!pids.open(QIODevice::ReadOnly))
            return 0;
        return pid_t(QString::fromLatin1(pids.readLine()).trimmed().toInt());
    }
    static QString script() { return nwSourceDir() + "/scripts/pulse-test-server"; }
    QProcessEnvironment scriptEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NW_PULSE_DIR", folder + "/pulse");
        env.insert("NW_PULSE_SINK", sink);
        env.insert("NW_PULSE_RATE", QString::number(rate));
        if (!reader)
            env.insert("NW_PULSE_NO_READER", "1");
        return env;
    }
    void run(const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(scriptEnvironment());
        process.start(script(), arguments);
        process.waitForFinished(30000);
    }

    QString folder;
    QString sink;
    int rate;
    bool reader;
    bool started = false;
    QProcessEnvironment clients;
};
