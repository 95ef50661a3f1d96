#pragma once

#include <QString>

// zentaro.cfg beside the executable. Every reader and writer opens it anew;
// a missing file or key gives the default, and only writes create the file.
QString configFilePath();

// "general/language": trimmed and lower-cased; anything but "en" or "zh" gives `fallback`.
QString readConfiguredLanguage(const QString &fallback);
void writeConfiguredLanguage(const QString &language);

// "Console/Enabled" with Qt's text-to-bool rule; false when absent.
bool readConsoleEnabled();

// "tavox/upgradeLastDir": empty when absent.
QString readUpgradeLastDir();
void writeUpgradeLastDir(const QString &directory);
