// Reading a saved report file as text.
#pragma once

#include <QString>

// The whole file as text: UTF-8 when it is valid UTF-8, else Windows-1252.
// Throws EztException naming the file and the reason when it cannot be read.
QString ReadReportFile(const QString& fileName);
