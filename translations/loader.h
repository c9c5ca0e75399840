#pragma once
// The operator's language: the translation that fits the locale, English
// (the texts as written, no translation) when there is none.

#include "generated/version.h"

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace tarvo::translations {

// Installs into app the translation of catalogue (its .qm embedded under
// :/tarvo/i18n/) for the first of locale's UI languages that has one, and
// Qt's own (qtbase, for the standard dialogs' buttons) where installed.
// Earlier translations this installed are removed first. True when the
// catalogue's translation was found.
bool install(QCoreApplication& app, const QLocale& locale,
             const QString& catalogue = QString::fromLatin1(kProgramName));

}  // namespace tarvo::translations
