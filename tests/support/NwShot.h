#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

// Keeps a picture of a widget as NAME.png in NW_SHOT_DIR, when that is set.
inline void nwKeepShot(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("NW_SHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(dir + "/" + name + ".png");
}
