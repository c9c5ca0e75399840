#pragma once
// The PC's TFTP server program in virtual time: started by the tool, it
// says READY shortly after, files each controller's upload under the
// controller's address and reports it as the real program does.

#include "virtual_platform.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace tarvo::test {

class FakeTftpServer {
public:
    explicit FakeTftpServer(platform::VirtualPlatform& platform);

    // What the program says on start; default: "READY 69 <root>" 10 ms later.
    std::function<void(platform::VirtualPlatform::ProcessRecord&)> onStart;
    // The controller at peer uploaded data: stored and reported.
    void receiveUpload(const QString& peer, const QByteArray& data);
    // A file already stored for peer is reported as its upload.
    void reportStored(const QString& peer, const QString& path);
    // The running program says a line (nothing when none runs).
    void say(const QString& line);

    QString root;  // --root of the last start
    std::int64_t handle = 0;

private:
    platform::VirtualPlatform& platform_;
};

// A gzip-compressed tar archive of these files, made with libarchive.
QByteArray makeArchive(const QList<QPair<QByteArray, QByteArray>>& files);
// A small archive that passes the tool's checks.
QByteArray sampleArchive();

}  // namespace tarvo::test
