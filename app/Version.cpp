#include "app/Version.h"

QString tavoxVersion()
{
    return QStringLiteral(TAVOX_VERSION);
}
