#include "app/QtTranslations.h"

#include "log/elog.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace {
// Debian's qttranslations5-l10n; this one pulls in qtbase's and the others beside it.
const char ChineseCatalogue[] = "qt_zh_CN";
}

void QtTranslations::dropLocaleCatalogues(const QObject &engine)
{
    for (QTranslator *catalogue : engine.findChildren<QTranslator *>(QString(), Qt::FindDirectChildrenOnly))
        QCoreApplication::removeTranslator(catalogue);
}

void QtTranslations::follow(const QString &languageCode)
{
    if (languageCode == QLatin1String("en")) {
        remove();
        return;
    }
    if (m_installed)
        return;
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (!m_translator.load(QLatin1String(ChineseCatalogue), folder)) {
        if (!m_missingReported)
            elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Qt's Chinese texts not found (%s/%s.qm): its dialogs stay English",
                        folder.toUtf8().constData(), ChineseCatalogue);
        m_missingReported = true;
        return;
    }
    m_installed = QCoreApplication::installTranslator(&m_translator);
}

void QtTranslations::remove()
{
    if (m_installed)
        QCoreApplication::removeTranslator(&m_translator);
    m_installed = false;
}
