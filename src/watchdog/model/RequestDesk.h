#pragma once

#include "workspace/InstanceProtocol.h"

class Secretary;

// Answers the requests of later starts on the same settings file: list edits
// with the rules and the saving of the list panel, applied to the list this
// watchdog holds, the list as it holds it (generations included), and
// bringing back the list panel.
class RequestDesk {
public:
    RequestDesk(Secretary& secretary, bool hasPanels);

    InstanceReply answer(const InstanceRequest& request);

private:
    Secretary& secretary;
    bool hasPanels_;
};
