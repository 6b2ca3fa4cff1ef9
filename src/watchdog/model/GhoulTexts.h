#pragma once

#include <QString>

// The watchdog's user-facing texts, looked up by key; an unknown key is shown
// as itself.
class GhoulTexts {
public:
    static QString text(const QString& key);
};
