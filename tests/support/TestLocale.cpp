#include "support/TestLocale.h"

void useChineseLocale()
{
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qunsetenv("LANGUAGE");
}

QProcessEnvironment withLocale(QProcessEnvironment environment, const QString &locale)
{
    environment.insert(QStringLiteral("LC_ALL"), locale);
    environment.remove(QStringLiteral("LANGUAGE"));
    return environment;
}
