#pragma once

#include <QObject>
#include <QString>
#include <QTranslator>

// Qt's own texts (file dialogs, standard buttons) in the window's language,
// from the catalogues of the system's Qt. English is what Qt says untranslated.
class QtTranslations : public QObject
{
public:
    explicit QtTranslations(QObject *parent = nullptr) : QObject(parent) {}

    // A QML application engine installs Qt's catalogue for the system's locale
    // by itself; the window's language decides instead.
    static void dropLocaleCatalogues(const QObject &engine);
    // The bridge's language code: "en" removes the catalogue, "zh" installs it.
    // Without the catalogue Qt's texts stay English: one log record says so.
    void follow(const QString &languageCode);

private:
    void remove();

    QTranslator m_translator;
    bool m_installed = false;
    bool m_missingReported = false;
};
