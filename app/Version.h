#pragma once

#include <QString>

// The version of the project, as the build system states it once ("1.0.6").
QString tavoxVersion();
