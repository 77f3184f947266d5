#pragma once
// Key presses, mouse clicks and waits for a window, as the platform delivers
// them. On Linux through QtTest; the Windows build's Qt has no QtTest, so
// there they go in through Qt's window-system interface, which is where the
// platform plugin hands in what the system sends, synchronously.

#include <QPoint>
#include <QWidget>

#ifdef _WIN32
#include <qpa/qwindowsysteminterface.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <QWindow>
#include <chrono>
#else
#include <QTest>
#endif

namespace q8test {

#ifdef _WIN32

namespace windowinput {

using Delivery = QWindowSystemInterface::SynchronousDelivery;
// As long as QtTest waits for a window.
constexpr std::chrono::milliseconds WINDOW_WAIT{5000};
constexpr int EVENTS_SLICE_MS = 10;
// Between two clicks, longer than any double-click interval, so that each
// click is a click of its own wherever it lands.
constexpr ulong CLICKS_APART_MS = 10000;

template <typename Done>
bool WaitUntil(Done done) {
    const QDeadlineTimer deadline(WINDOW_WAIT);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, EVENTS_SLICE_MS);
        QThread::msleep(EVENTS_SLICE_MS);
    }
    return done();
}

// The text a key types, as QtTest gives it: a list searches by it, and an
// empty one would match the next row.
inline QString KeyText(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    switch (key) {
        case Qt::Key_Tab:
            return QStringLiteral("\t");
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QStringLiteral("\r");
        case Qt::Key_Escape:
            return QStringLiteral("\x1b");
        case Qt::Key_Backspace:
            return QStringLiteral("\b");
        default:
            break;
    }
    if (key < Qt::Key_Space || key > Qt::Key_AsciiTilde) {
        return QString();  // arrows, function keys: no text
    }
    const QChar typed(static_cast<char16_t>(key));
    return modifiers.testFlag(Qt::ShiftModifier) ? QString(typed) : QString(typed.toLower());
}

}  // namespace windowinput

inline bool WaitForWindowActive(QWidget* window) {
    return windowinput::WaitUntil([window] { return window->isActiveWindow(); });
}

inline bool WaitForWindowExposed(QWidget* window) {
    return windowinput::WaitUntil([window] {
        return window->windowHandle() != nullptr && window->windowHandle()->isExposed();
    });
}

// To the focus widget of `target`'s window, the way a keyboard sends it.
inline void KeyClick(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWindow* window = target->window()->windowHandle();
    const QString text = windowinput::KeyText(key, modifiers);
    QWindowSystemInterface::handleKeyEvent<windowinput::Delivery>(window, QEvent::KeyPress, key,
                                                                  modifiers, text);
    QWindowSystemInterface::handleKeyEvent<windowinput::Delivery>(window, QEvent::KeyRelease, key,
                                                                  modifiers, text);
}

// A left click at `at` in `target` (its centre for (0, 0), as in QtTest),
// through its window: the widget under the point gets it, and the focus with
// it.
inline void MouseClick(QWidget* target, QPoint at = QPoint()) {
    static ulong timestamp = 0;
    if (at.isNull()) {
        at = target->rect().center();
    }
    QWidget* top = target->window();
    const QPointF local = target->mapTo(top, at);
    const QPointF global = target->mapToGlobal(at);
    timestamp += windowinput::CLICKS_APART_MS;
    QWindowSystemInterface::handleMouseEvent<windowinput::Delivery>(
        top->windowHandle(), timestamp, local, global, Qt::LeftButton, Qt::LeftButton,
        QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<windowinput::Delivery>(
        top->windowHandle(), ++timestamp, local, global, Qt::NoButton, Qt::LeftButton,
        QEvent::MouseButtonRelease);
}

#else

inline bool WaitForWindowActive(QWidget* window) {
    return QTest::qWaitForWindowActive(window);
}

inline bool WaitForWindowExposed(QWidget* window) {
    return QTest::qWaitForWindowExposed(window);
}

inline void KeyClick(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(target, key, modifiers);
}

inline void MouseClick(QWidget* target, QPoint at = QPoint()) {
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
}

#endif

}  // namespace q8test
