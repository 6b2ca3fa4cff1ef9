#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// The program's image resources, looked up by resource name ("LevelGreenOn.tif",
// "RecordOnButton.tif"). The artwork is drawn in code the first time a name is asked for
// and kept for the rest of the run; any thread may ask.
class ZuImages {
public:
    // The image named `name`; a null image (and one console warning per name) when no
    // image has that name.
    static QImage image(const QString& name);
    // Every name image() knows, in a fixed order.
    static QStringList names();
};
