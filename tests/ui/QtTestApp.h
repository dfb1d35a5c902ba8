// Qt support for the window tests: one QApplication for the whole test
// program, waiting on a condition, and input that travels the same road as
// real input (through the window system interface), so focus rules, mouse
// grabs, double-click detection and shortcuts all take part.
#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

#include <functional>

class QApplication;
class QWidget;

// The application object, made on first use (offscreen unless told otherwise).
QApplication& QtTestApp();

// Lets events through until `condition` holds or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Shows a top-level widget and waits until it is the active window.
bool ShowActive(QWidget* topLevel);

// Mouse input at `pos` in `widget`'s coordinates. Separate calls never make a
// double click; MouseDoubleClick sends press, release, press, release.
void MousePress(QWidget* widget, Qt::MouseButton button, QPoint pos);
void MouseRelease(QWidget* widget, Qt::MouseButton button, QPoint pos);
void MouseClick(QWidget* widget, Qt::MouseButton button, QPoint pos);
void MouseDoubleClick(QWidget* widget, Qt::MouseButton button, QPoint pos);

// Key input to the window of `widget` (its focus widget gets it).
void KeyPress(QWidget* widget, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
              const QString& text = QString(), bool autoRepeat = false);
void KeyRelease(QWidget* widget, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                const QString& text = QString(), bool autoRepeat = false);
void KeyClick(QWidget* widget, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
              const QString& text = QString());
