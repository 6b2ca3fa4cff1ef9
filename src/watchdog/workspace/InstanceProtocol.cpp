#include "workspace/InstanceProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// The next whole line as a JSON object; nullopt when there is none yet or it
// is not an object.
std::optional<QJsonObject> takeObject(QByteArray& buffer, bool* unreadable) {
    *unreadable = false;
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        *unreadable = buffer.size() > InstanceProtocol::maximumLineSize;
        return std::nullopt;
    }
    const QByteArray text = buffer.left(end);
    buffer.remove(0, end + 1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *unreadable = true;
        return std::nullopt;
    }
    return document.object();
}

} // namespace

QByteArray InstanceProtocol::encode(const InstanceRequest& request) {
    return line(QJsonObject{{QStringLiteral("command"), request.command},
                            {QStringLiteral("argument"), request.argument}});
}

QByteArray InstanceProtocol::encode(const InstanceReply& reply) {
    return line(QJsonObject{{QStringLiteral("status"), reply.status},
                            {QStringLiteral("out"), reply.out},
                            {QStringLiteral("err"), reply.err}});
}

std::optional<InstanceRequest> InstanceProtocol::takeRequest(QByteArray& buffer, bool* unreadable) {
    const std::optional<QJsonObject> object = takeObject(buffer, unreadable);
    if (!object)
        return std::nullopt;
    const QJsonValue command = object->value(QStringLiteral("command"));
    const QJsonValue argument = object->value(QStringLiteral("argument"));
    if (!command.isString() || !argument.isString()) {
        *unreadable = true;
        return std::nullopt;
    }
    return InstanceRequest{command.toString(), argument.toString()};
}

std::optional<InstanceReply> InstanceProtocol::takeReply(QByteArray& buffer, bool* unreadable) {
    const std::optional<QJsonObject> object = takeObject(buffer, unreadable);
    if (!object)
        return std::nullopt;
    const QJsonValue status = object->value(QStringLiteral("status"));
    const QJsonValue out = object->value(QStringLiteral("out"));
    const QJsonValue err = object->value(QStringLiteral("err"));
    if (!status.isDouble() || !out.isString() || !err.isString()) {
        *unreadable = true;
        return std::nullopt;
    }
    return InstanceReply{status.toInt(), out.toString(), err.toString()};
}
