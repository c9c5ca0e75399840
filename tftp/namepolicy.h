#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarvo::tftp {

// Decides which requested names the server serves: plain names only, inside
// the served folder, from an allow-list ("*" in the list allows any plain name).
class NamePolicy
{
public:
    explicit NamePolicy(const QStringList& allowedNames = {QStringLiteral("config.tgz")});

    // True if name is a plain file name that may be used; else why not.
    bool accepts(const QByteArray& name, QString* reason) const;
    static bool isPlainName(const QString& name, QString* reason);

private:
    QStringList allowed_;
    bool anyName_ = false;
};

}  // namespace tarvo::tftp
