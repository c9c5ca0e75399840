#pragma once
// The PC's TFTP server program in virtual time: started by the tool, it
// says READY shortly after, files each controller's upload under the
// controller's address and reports it as the real program does.

#include "virtual_platform.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <utility>

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
// A member of any kind, as a tar header can describe it.
struct ArchiveMember {
    ArchiveMember(QByteArray path_, QByteArray content_, unsigned type_ = 0100000, QByteArray symlink_ = {},
                  QByteArray hardlink_ = {})
        : path(std::move(path_)), content(std::move(content_)), type(type_), symlink(std::move(symlink_)),
          hardlink(std::move(hardlink_))
    {
    }
    QByteArray path;  // as stored: may be absolute or climb with ..
    QByteArray content;
    unsigned type;  // the st_mode file type (AE_IFREG, AE_IFLNK, AE_IFCHR, ...)
    QByteArray symlink;   // the target, for a symbolic link
    QByteArray hardlink;  // when set, a hard link to this path
};
QByteArray makeArchiveOf(const QList<ArchiveMember>& members);
// The same as a bare ustar stream, ending in its two zero blocks.
QByteArray tarOf(const QList<ArchiveMember>& members);
// One ustar header as any tar may write it: type is the typeflag ('0' a
// file, 'L' a long name, 'x' pax records, ...), link the link name field.
QByteArray tarHeader(const QByteArray& name, qint64 size, char type = '0', const QByteArray& link = {});
// A gzip stream of data, one gzip member.
QByteArray gzipped(const QByteArray& data);
// An archive of about 1 KiB per MiB it inflates to: a tar start, then gzip
// members of 1 MiB of zeros each. Either a usable archive followed by the
// zeros, or one header that promises them all as zel/huge.conf.
QByteArray gzipBomb(qint64 inflatedMiB, bool declaredInHeader);
// A small archive that passes the tool's checks.
QByteArray sampleArchive();
// Its members in order, as tar -v lists them.
QList<QByteArray> sampleMembers();

}  // namespace tarvo::test
