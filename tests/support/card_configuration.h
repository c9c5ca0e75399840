#pragma once
// What a backup takes from a card: the .conf files of /zel and /media, and
// the profile, sequence and preview trees.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <map>

namespace tarvo::test {

inline std::map<QString, QByteArray> configurationOf(const std::map<QString, QByteArray>& card)
{
    static const QRegularExpression taken(
        QStringLiteral("^(zel/[^/]*\\.conf|media/[^/]*\\.conf|media/(profiles|sequences|prv_bmp)(/.*)?)$"));
    std::map<QString, QByteArray> out;
    for (const auto& [path, bytes] : card)
        if (taken.match(path).hasMatch())
            out[path] = bytes;
    return out;
}

}  // namespace tarvo::test
