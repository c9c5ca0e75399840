#pragma once
// Ordinary files on the real file system as streams: opened without
// blocking on anything that is not an ordinary file, and copied in chunks
// so that an archive of any size costs the same little memory.

#include <QIODevice>
#include <QString>

#include <memory>

namespace tarvo::platform {

// The ordinary file at path opened for reading; nullptr for anything else
// (missing, unreadable, a folder, a FIFO, a device, a socket).
std::unique_ptr<QIODevice> openOrdinaryFile(const QString& path);
// Copies the ordinary file `from` onto `to` through a QSaveFile: `to` is
// replaced as a whole or left as it was. Makes the folders of `to`.
bool copyOrdinaryFile(const QString& from, const QString& to);

}  // namespace tarvo::platform
