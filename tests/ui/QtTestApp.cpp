#include "QtTestApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

// Entry points that Qt exports for its own test library; they feed input in
// through the window system interface and deliver it at once.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button,
                                      QEvent::Type type, Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT bool qt_handleKeyEvent(QWindow* window, QEvent::Type t, int k,
                                    Qt::KeyboardModifiers mods, const QString& text,
                                    bool autorep, ushort count);

namespace {

QApplication* g_App = nullptr;
int g_Timestamp = 0;
Qt::MouseButtons g_Held = Qt::NoButton;

// Deletes the application after the last test, while nothing else is alive.
class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { QtTestApp(); }
    void TearDown() override
    {
        delete g_App;
        g_App = nullptr;
    }
};

const auto* const g_Env = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint pos, int gap)
{
    QWidget* top = widget->window();
    QWindow* window = top->windowHandle();
    if (!window)
        return;
    const QPointF local = widget->mapTo(top, pos);
    const QPointF global = widget->mapToGlobal(pos);
    if (type == QEvent::MouseButtonPress)
        g_Held |= button;
    else
        g_Held &= ~Qt::MouseButtons(button);
    g_Timestamp += gap;
    qt_handleMouseEvent(window, local, global, g_Held, button, type, Qt::NoModifier, g_Timestamp);
}

void SendKey(QWidget* widget, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
             const QString& text, bool autoRepeat)
{
    QWindow* window = widget->window()->windowHandle();
    if (window)
        qt_handleKeyEvent(window, type, key, mods, text, autoRepeat, 1);
}

// Far beyond any double-click interval.
constexpr int kApart = 10000;

} // namespace

QApplication& QtTestApp()
{
    if (!g_App) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tarn_ui_tests";
        static char* argv[] = {name, nullptr};
        g_App = new QApplication(argc, argv);
    }
    return *g_App;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

bool ShowActive(QWidget* topLevel)
{
    topLevel->show();
    topLevel->activateWindow();
    return WaitFor([topLevel] { return QApplication::activeWindow() == topLevel; });
}

void MousePress(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    SendMouse(widget, QEvent::MouseButtonPress, button, pos, kApart);
}

void MouseRelease(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    SendMouse(widget, QEvent::MouseButtonRelease, button, pos, 1);
}

void MouseClick(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    MousePress(widget, button, pos);
    MouseRelease(widget, button, pos);
}

void MouseDoubleClick(QWidget* widget, Qt::MouseButton button, QPoint pos)
{
    MouseClick(widget, button, pos);
    SendMouse(widget, QEvent::MouseButtonPress, button, pos, 10);
    MouseRelease(widget, button, pos);
}

void KeyPress(QWidget* widget, int key, Qt::KeyboardModifiers mods, const QString& text,
              bool autoRepeat)
{
    SendKey(widget, QEvent::KeyPress, key, mods, text, autoRepeat);
}

void KeyRelease(QWidget* widget, int key, Qt::KeyboardModifiers mods, const QString& text,
                bool autoRepeat)
{
    SendKey(widget, QEvent::KeyRelease, key, mods, text, autoRepeat);
}

void KeyClick(QWidget* widget, int key, Qt::KeyboardModifiers mods, const QString& text)
{
    KeyPress(widget, key, mods, text);
    KeyRelease(widget, key, mods, text);
}
