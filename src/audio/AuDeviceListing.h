#pragma once

class QTextStream;

// Writes every device of the current backend as AuDevice reports it: name,
// UID, channels per direction, nominal rate and supported rates, buffer size
// and its range, data sources. With none it says so. Returns the device count.
int auWriteDeviceListing(QTextStream& out);
