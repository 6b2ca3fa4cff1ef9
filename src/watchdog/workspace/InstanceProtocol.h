#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What a later start asks of the running watchdog: "add" (a desktop entry's
// absolute path), "remove" (a name), "list" or "show" (the list panel).
struct InstanceRequest {
    QString command;
    QString argument;
};

// The answer: an exit status and the texts for standard output and error.
struct InstanceReply {
    int status = 1;
    QString out;
    QString err;
};

// Both travel as one line of JSON each, one request answered before the next.
class InstanceProtocol {
public:
    // Longer lines are refused: nothing legitimate comes near.
    static constexpr qsizetype maximumLineSize = 64 * 1024;

    static QByteArray encode(const InstanceRequest& request);
    static QByteArray encode(const InstanceReply& reply);
    // Take the first whole line off buffer; nullopt while none is complete or
    // when the line is not a message of that kind (*unreadable is then set).
    static std::optional<InstanceRequest> takeRequest(QByteArray& buffer, bool* unreadable);
    static std::optional<InstanceReply> takeReply(QByteArray& buffer, bool* unreadable);
};
