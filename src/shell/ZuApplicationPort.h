#pragma once

#include <QUrl>

// What the controller needs of the application: hiding, asking to quit,
// answering a deferred quit, opening a page in the browser.
class ZuApplicationPort {
public:
    virtual ~ZuApplicationPort() = default;
    virtual void hide() = 0;
    // Asks to quit; the controller's quit rules decide. True when the
    // application is ending now.
    virtual bool terminate() = 0;
    // Ends a quit the controller answered with "later".
    virtual void replyToApplicationShouldTerminate(bool shouldTerminate) = 0;
    virtual void openUrl(const QUrl& url) = 0;
};
