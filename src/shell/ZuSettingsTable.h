#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Every setting of the recorder with the type its owner reads it as. The
// owners register the defaults; this table lets the command line check and
// convert values before any component loads.
class ZuSettingsTable {
public:
    enum class Type { Boolean, Integer, Float, Double, String, Array, Frame };
    struct Entry {
        const char* key;
        Type type;
    };

    static const QList<Entry>& entries();
    static const Entry* find(const QString& key);
    // Registers the defaults of every owner class.
    static void registerAll();
    // Stores a text given as KEY=VALUE; false with a message when the key is
    // unknown or the text is not a value of the key's type.
    static bool storeText(const QString& key, const QString& text, QString* message);
};
