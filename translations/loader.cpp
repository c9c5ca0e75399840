#include "translations/loader.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tarvo::translations {

bool install(QCoreApplication& app, const QLocale& locale, const QString& catalogue)
{
    // Owned by the application; a second call (a test switching languages)
    // replaces what the first installed.
    for (QTranslator* old : app.findChildren<QTranslator*>(QStringLiteral("tarvoTranslator"), Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    const auto installOne = [&](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName(QStringLiteral("tarvoTranslator"));
        // Tries each of locale.uiLanguages() in turn, as "name_de_DE", "name_de", ...
        if (translator->load(locale, name, QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
        delete translator;
        return false;
    };
    // English is written in the sources: no English catalogue, and a
    // language without one falls back to it.
    const bool found = installOne(catalogue, QStringLiteral(":/tarvo/i18n"));
    // Qt's own words (Cancel, OK, the file dialog's) in the same language:
    // the system's Qt translations, or those shipped beside the program.
    if (found && !installOne(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installOne(QStringLiteral("qtbase"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations"));
    return found;
}

}  // namespace tarvo::translations
