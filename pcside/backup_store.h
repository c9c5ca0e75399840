#pragma once
// The archives on the PC: the folder the server files each controller's
// upload in, the history of verified backups beside it (each with a JSON
// sidecar), the backup that waits to be restored, and the choice of the
// archive a restore sends. The window, the terminal and the run all ask
// the same store.

#include "pcside/stored_settings.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarvo::pcside {

class BackupStore {
public:
    BackupStore(platform::FileSystem& files, platform::SettingsStore& settings);

    // Verified backups kept per controller.
    static constexpr int kHistoryDepth = 50;

    // The folder the server serves, holding one folder per controller and
    // the history: the settings' (or the user's data folder), unless set.
    QString folder() const;
    void setFolder(const QString& folder) { folderOverride_ = folder; }

    // Where the server files a controller's upload.
    QString controllerArchive(const QString& controller) const;
    // The verified backups of one laser, oldest first. A laser is filed by
    // its hardware address when the PC could read it, else by the address
    // the operator gave.
    QStringList history(const QString& controller, const platform::ControllerIdentity& identity = {}) const;

    // A verified backup, as its sidecar tells.
    struct Backup {
        QString path;
        QString controller;  // the address it was made at
        QString time;
        qint64 bytes = 0;
        int files = 0;
        platform::ControllerIdentity identity;
        // The SHA-256 it was verified with (hex); empty when none is on record.
        QByteArray sha256;
    };
    // What the store knows of an archive: the pending restore's record,
    // else its sidecar, else the folder it lies in.
    Backup describe(const QString& path) const;
    // Every verified backup kept, newest first.
    QList<Backup> backups() const;
    bool hasBackups() const;

    // What a check found of an upload: its size, files and digest.
    struct Facts {
        qint64 bytes = 0;
        int files = 0;
        QByteArray sha256;
    };
    // Keeps a verified upload of controller in its history, with its
    // sidecar (when the copy still has the checked digest), prunes the
    // oldest, and (when remembered) makes it the backup
    // a restore waits for. When the copy cannot be written, nothing is kept
    // or remembered (keptInHistory false): the server's upload file is no
    // backup, the next upload from the address replaces it.
    struct Kept {
        Backup backup;
        bool keptInHistory = false;
        QString historyFolder;
        // False when it was to be remembered for the restore and the
        // settings store could not keep it.
        bool remembered = true;
        // The upload no longer holds the bytes that were checked: nothing
        // was kept or remembered.
        bool changed = false;
    };
    Kept keep(const QString& upload, const QString& controller, const Facts& facts,
              const platform::ControllerIdentity& identity = {});

    // Whether the backup waiting for its restore is remembered between
    // runs (the window), or each run chooses its own (the terminal).
    void setRemembersPendingRestore(bool remember) { remembersPending_ = remember; }
    bool remembersPendingRestore() const { return remembersPending_; }
    PendingRestore pendingRestore() const;
    // Makes a kept backup the one a restore sends; the time as shown.
    void choose(const Backup& backup);
    void clearPendingRestore();

    // The archive a restore onto the laser sends: the one given, else the
    // backup waiting for its restore, else the laser's newest verified
    // backup, else the newest made at its address (another laser's, or one
    // of unknown hardware: the caller compares); empty when there is none.
    QString archiveToRestore(const QString& controller, const platform::ControllerIdentity& identity = {}) const;
    // The archive given or waiting for its restore; empty when each run
    // picks the laser's own.
    QString chosenArchive() const;
    // Whether path names a backup kept in the history (a file of its own
    // that no upload replaces), not just any file.
    bool isKept(const QString& path) const;
    void setArchiveToRestore(const QString& path) { restoreOverride_ = path; }

    // Where the server serves source from for controller: source itself
    // when it is already there, else a copy. Empty when the copy failed.
    QString stageForRestore(const QString& source, const QString& controller);

    // The time a backup was made, as the operator reads it; a time that is
    // not ISO 8601 as it stands.
    static QString shownTime(const QString& isoTime);

private:
    Backup describe(const QString& path, const PendingRestore& pending) const;
    QString historyFolder(const QString& key) const;
    QStringList historyIn(const QString& key) const;
    qint64 nextSequence(const QString& key) const;
    // Hex SHA-256 of a file; empty when it cannot be read.
    QByteArray sha256Of(const QString& path) const;

    platform::FileSystem& files_;
    StoredSettings settings_;
    QString folderOverride_;
    QString restoreOverride_;
    bool remembersPending_ = true;
};

}  // namespace tarvo::pcside
