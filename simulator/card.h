#pragma once
// The SD card: a folder on the PC that stands for the controller's "/".
// Every path a command uses is resolved here as a chroot would resolve it:
// "..", absolute paths and symbolic links (absolute or relative) are all
// followed inside the card and can never lead out of it.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvo::simulator {

// A controller path resolved onto the card.
struct CardPath {
    int error = 0;           // errno value when resolution failed, else 0
    QByteArray path;         // absolute controller path, free of links, "." and ".."
    QByteArray native;       // the same place on the PC, inside the card folder
    bool exists = false;
    bool isDir = false;
    bool isFile = false;
    bool isSymLink = false;  // only when the last link was not followed

    QString hostPath() const;
    // The folder that holds it (controller path).
    QByteArray parentPath() const;
};

class Card {
public:
    explicit Card(const QString& folder);

    QString folder() const { return folder_; }

    // Resolves path (absolute, or relative to cwd). followLast=false leaves
    // a symbolic link in the last component unresolved (lstat semantics).
    CardPath resolve(const QByteArray& cwd, const QByteArray& path, bool followLast = true) const;
    // One name inside an already resolved folder: a single look-up instead
    // of walking the whole path again (a link to follow is still resolved
    // in full).
    CardPath child(const CardPath& dir, const QByteArray& name, bool followLast = true) const;

    // What a symbolic link on the card points to, as the controller sees
    // it: its own text, with a PC path into the card folder made relative
    // to the card ("/zel"); a PC path never shows.
    QByteArray linkTarget(const CardPath& link) const;

    // Expands a shell pattern (backslash escapes a character) as sh does:
    // matches in byte order, dot files only when the pattern names the dot.
    // Empty when nothing matches.
    QList<QByteArray> glob(const QByteArray& cwd, const QByteArray& pattern) const;

    // Entry names of a resolved directory, sorted, without "." and "..".
    static QList<QByteArray> list(const CardPath& dir, bool includeHidden);

    // "No such file or directory" and friends, as the controller prints them.
    static QByteArray errorText(int error);
    static bool hasGlobChars(const QByteArray& word);

private:
    static void fillType(CardPath& r);

    QString folder_;
    QByteArray root_;  // native folder without a trailing slash
};

}  // namespace tarvo::simulator
