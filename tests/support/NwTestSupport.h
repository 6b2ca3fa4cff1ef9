#pragma once

#include <QString>

// The current test's own temporary folder (removed after the test). The
// settings store points at "settings.conf" inside it for the test's duration.
QString nwTestDir();

// The source folder and the build folder of this checkout.
QString nwSourceDir();
QString nwBinaryDir();

// The folder that stands for the user's home during the whole test program.
QString nwTestHome();
