#pragma once

#include <QString>

// User-facing texts by key, from the English string table shipped with the
// program. A key without a text reads as the key itself.
class ZuLocalized {
public:
    static QString text(const QString& key);
    static bool has(const QString& key);
};
