#pragma once

#include <QString>

// Where the tool keeps zentaro.cfg and logs/. A build tree or a copied folder
// keeps them beside the executable, as it always did; an installed copy, whose
// folder the user cannot write, keeps them in the user's standard locations
// (~/.config/tavox and ~/.local/share/tavox on Linux), shared by every
// executable of the tool.
QString configDirectory();
QString dataDirectory();
