#pragma once

#include <QProcessEnvironment>
#include <QString>

// While no language is stored, the window and tavoxctl start in the locale's. A test that relies on the texts
// of one language names its locale, so that it passes whoever runs it and whatever locale CTest passes on.

// This process, and the programs it starts with its environment, in a Chinese locale.
void useChineseLocale();

// `environment` with `locale` deciding the language: LC_ALL, and no LANGUAGE list before it.
QProcessEnvironment withLocale(QProcessEnvironment environment, const QString &locale);
