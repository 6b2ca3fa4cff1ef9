#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

// The watchdog's log book: a plain UTF-8 text file of two-line records,
// started empty at every launch. Each record is appended, flushed and closed
// by itself, so a crash loses at most the record being written.
class Logger : public QObject {
    Q_OBJECT
public:
    // "ZuGhoulizer/LogBook.txt" in the user's documents folder.
    static QString defaultLogBookPath();
    // Each settings file keeps its own log book, so that two watchdogs never
    // share one: the default settings file the default book, any other the
    // file "<settings file>.LogBook.txt" beside it.
    static QString logBookPathFor(const QString& settingsFile);
    static QString record(const QDateTime& date, const QString& title, const QString& text);

    explicit Logger(const QString& path = defaultLogBookPath(), QObject* parent = nullptr);

    QString path() const { return path_; }
    // Also print every record on the console (runs without windows), whether
    // or not the book can be written.
    void setEchoToConsole(bool echo) { echo_ = echo; }

    void awakeFromNib() { initLogBook(); }
    bool initLogBook();
    bool writeLog(const QDateTime& date, const QString& title, const QString& text);
    // Reads the file and hands its text to the log view.
    void reloadLog();
    void actReadLog();

signals:
    void logReloaded(const QString& text);
    void showLogPanel();

private:
    QString path_;
    bool echo_ = false;
};
