#pragma once

#include "support/NwTestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QString>

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

private:
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
