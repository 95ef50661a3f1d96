#pragma once

#include <QString>

// Where the tool keeps zentaro.cfg, its data and its logs/. An installed copy
// (its programs in a prefix's bin folder, its private libraries in that
// prefix's library folder) keeps them in the user's standard locations
// (~/.config/tavox, ~/.local/share/tavox and ~/.local/state/tavox on Linux),
// shared by every executable of the tool, even when run by root, who could
// write into the prefix. A build tree or an unpacked portable folder keeps
// them beside the executable, or in the standard locations when that folder
// cannot be written.
QString configDirectory();
QString dataDirectory();
QString stateDirectory();

// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state: Qt 5 knows no state location.
QString userStateHome();
