#pragma once

#include <QString>

// zentaro.cfg in the configuration directory (see StandardLocations.h), in UTF-8. Every reader and writer opens it
// anew; a missing file or key gives the default, and only writes create the file.
// Anything but a regular file of at most 1 MiB reads as empty, with a warning.
// Writers return false, after a warning with the reason, when the value could not be saved; the file is then left
// exactly as it was.
QString configFilePath();

// "General/language" (or any case of the group): trimmed and lower-cased, "en" or "zh"; any other stored value
// reads as "zh", as it always has. `fallback` when the file stores none (no file, no key, an unreadable file).
QString readConfiguredLanguage(const QString &fallback);
// The language of the locale the user's messages follow: "zh" when its language is Chinese, "en" otherwise (C
// and POSIX included). The locale is the first of LC_ALL, LC_MESSAGES and LANG that is set; unless it is C or
// POSIX, a LANGUAGE list's first entry in Chinese or English comes before it, as with gettext.
QString localeLanguage();
// The language a run starts in: the stored one, else the locale's. Reading it stores nothing.
QString startLanguage();
bool writeConfiguredLanguage(const QString &language);

// "Console/Enabled" with Qt's text-to-bool rule; false when absent.
bool readConsoleEnabled();

// "tavox/upgradeLastDir": empty when absent.
QString readUpgradeLastDir();
bool writeUpgradeLastDir(const QString &directory);

// "tavox/paramsLastDir": the folder of the last parameter file backed up or restored; empty when absent.
QString readParamsLastDir();
bool writeParamsLastDir(const QString &directory);

// "serial/lastPort" and "serial/lastBaud": the port and baud rate of the last successful open, chosen again at
// the next start. Empty and 0 when absent; a rate that is not a positive number reads as 0.
QString readLastSerialPort();
int readLastBaudRate();
bool writeLastSerialChoice(const QString &portName, int baudRate);

// "serial/reconnect": whether a port lost under an open link is opened again once it is back. True when absent;
// otherwise Qt's text-to-bool rule.
bool readReconnectEnabled();
bool writeReconnectEnabled(bool enabled);

// "window/messageLogHeight": the message log's height in design pixels as the operator dragged it, 0 when absent
// or not a positive whole number (the window's own height then applies).
int readMessageLogHeight();
bool writeMessageLogHeight(int height);

// "window/scale": the factor the operator zoomed the window to (1.5 for 150 %), 0 when absent or not a positive
// number.
double readWindowScale();
bool writeWindowScale(double scale);

// The recorder of the link: "recording/enabled" (true when absent; Qt's text-to-bool rule),
// "recording/maxSessions" and "recording/maxMiB" (`fallback` unless a positive whole number) and
// "recording/fullUpgrade" (false when absent), whether an upgrade's image bytes are kept whole.
bool readRecordingEnabled();
int readRecordingMaxSessions(int fallback);
int readRecordingMaxMiB(int fallback);
bool readRecordingFullUpgrade();
