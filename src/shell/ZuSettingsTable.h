#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <cmath>
#include <limits>

// Every setting of the recorder with the type its owner reads it as. The
// owners register the defaults; this table lets the command line check and
// convert values before any component loads.
class ZuSettingsTable {
public:
    enum class Type { Boolean, Integer, Float, Double, String, Array, Frame };
    // A numeric setting has the range of values its owner can use.
    struct Entry {
        const char* key;
        Type type;
        double minimum = std::numeric_limits<double>::quiet_NaN();
        double maximum = std::numeric_limits<double>::quiet_NaN();
        bool hasRange() const { return !std::isnan(minimum); }
    };

    static const QList<Entry>& entries();
    static const Entry* find(const QString& key);
    // Registers the defaults of every owner class.
    static void registerAll();
    // Registers the range of every numeric setting with the store, so that a
    // stored value out of range reads as the default.
    static void registerRanges();
    // Reads every stored value once, as its owner will, so that each one it
    // cannot use is named on the console before any component loads.
    static void checkStored();
    // Stores a text given as KEY=VALUE; false with a message when the key is
    // unknown, the text is not a value of the key's type, or out of its range.
    static bool storeText(const QString& key, const QString& text, QString* message);
};
