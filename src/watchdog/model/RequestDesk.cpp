#include "model/RequestDesk.h"

#include "model/GhoulCommands.h"
#include "model/Secretary.h"

#include <QFileInfo>
#include <QTextStream>

RequestDesk::RequestDesk(Secretary& secretary, bool hasPanels)
    : secretary(secretary), hasPanels_(hasPanels) {}

InstanceReply RequestDesk::answer(const InstanceRequest& request) {
    InstanceReply reply;
    QTextStream out(&reply.out);
    QTextStream err(&reply.err);
    GhoulCommands commands(secretary, out, err);
    if (request.command == QLatin1String("add")) {
        // A relative path would be read from this process's folder, not the asker's.
        if (QFileInfo(request.argument).isAbsolute()) {
            reply.status = commands.add(request.argument);
        } else {
            reply.status = 2;
            err << request.argument << " is no absolute path.\n";
        }
    } else if (request.command == QLatin1String("remove")) {
        reply.status = commands.remove(request.argument);
    } else if (request.command == QLatin1String("list")) {
        reply.status = commands.list();
    } else if (request.command == QLatin1String("show")) {
        if (hasPanels_) {
            secretary.actShowGhoulListPanel();
            reply.status = 0;
        } else {
            reply.status = 1;
            err << "ZuGhoulizer already runs without windows on this settings file; "
                   "it has no list panel to show.\n";
        }
    } else {
        reply.status = 2;
        err << "The running ZuGhoulizer knows no request \"" << request.command << "\".\n";
    }
    out.flush();
    err.flush();
    return reply;
}
