#pragma once

#include <QString>
#include <functional>

// The console lines the recorder writes (standard error). Tests may install a
// sink to read them.
class ZuConsole {
public:
    using Sink = std::function<void(const QString& line)>;
    static void line(const QString& text);
    // Installs a sink (an empty one restores standard error); returns the old one.
    static Sink setSink(Sink sink);
};
