#include "app/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

Q_LOGGING_CATEGORY(lcTranslation, "ramux.translation")

bool installQtTranslation(QCoreApplication &app)
{
    // The interface is Russian whatever the desktop's locale; qtbase holds every dialog's words.
    auto *translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        qCWarning(lcTranslation) << "no Russian translation of Qt in" << folder;
        delete translator;
        return false;
    }
    return true;
}
