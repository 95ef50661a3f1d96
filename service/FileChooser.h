#pragma once

#include <QString>

#include <functional>

// The window hands in its file dialogs (see Startup's upgrade file chooser);
// tests stand in for them with a path of their own. An empty answer means the
// operator cancelled.
enum class FileDialogMode { Open, Save };
using FileChooser = std::function<QString(FileDialogMode mode, const QString &title, const QString &suggestedPath,
                                          const QString &filter)>;
