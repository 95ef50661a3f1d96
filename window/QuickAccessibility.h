#pragma once

class QAccessibleInterface;
class QObject;
class QQmlEngine;
class QString;

// What assistive technology (a screen reader over AT-SPI) learns of the
// window's Qt Quick items. Qt's own accessible items report a disabled
// control as enabled and still carry out its actions; these say it is
// disabled and refuse them, as the mouse is refused; they give a progress
// bar its value, and the bounds of a value named `from` and `to`; a combo box
// opens its list on ShowMenu; and a text field takes text typed, deleted or
// replaced by the reader unless it is read-only.
QAccessibleInterface *quickAccessibleFactory(const QString &className, QObject *object);

// Puts the factory ahead of Qt Quick's own; before the engine loads the window.
void installQuickAccessibility(QQmlEngine &engine);
