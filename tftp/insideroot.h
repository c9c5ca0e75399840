#pragma once

#include <QFile>
#include <QString>

#include <memory>

namespace tarvo::tftp {

// Keeps every read and write inside the served folder: a symbolic link
// anywhere below root could lead out of it, so none is followed.

// The first path from root down to path (root itself not included) that is
// a symbolic link; empty if there is none.
QString symlinkBelow(const QString& root, const QString& path);

// Opens path for reading, refusing a symbolic link put there after the
// check. nullptr with error set on failure.
std::unique_ptr<QFile> openForReading(const QString& path, QString* error);

}  // namespace tarvo::tftp
