#pragma once

#include <QString>

#include <memory>

class QFile;

namespace tarvo::tftp {

// Writes a file under a temporary name in the target's folder and moves it
// over the target only on commit(), after the data reached the disk. An
// uncommitted file is removed when discarded or destroyed. While open, the
// temporary file carries an advisory lock, so that another server sweeping
// the folder knows it is alive.
class AtomicFile
{
public:
    explicit AtomicFile(const QString& targetPath);
    ~AtomicFile();

    // Prefix of every temporary name, so a later run can sweep leftovers of
    // a process that was killed outright.
    static QString temporaryPrefix();
    // Removes a temporary file of a process that is gone. One a live
    // process still writes is locked (flock) and left alone; false then.
    static bool removeIfAbandoned(const QString& temporaryPath);

    bool open(QString* error);
    bool write(const char* data, qint64 size, QString* error);
    bool commit(QString* error);
    void discard();
    QString targetPath() const { return target_; }
    QString temporaryPath() const;

private:
    QString target_;
    std::unique_ptr<QFile> file_;
    bool done_ = false;
};

}  // namespace tarvo::tftp
