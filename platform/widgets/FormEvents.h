#pragma once
// Event types shared by forms and controls. Events are std::function members,
// entered through Dispatch so that an abort stays silent and any other error
// reaches the general error display.
#include <QChar>
#include <QObject>

#include <functional>

namespace trd {

// What a form does after its close event: nothing, hide, release (destroy),
// or minimise (the framework's default for an MDI child).
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = std::function<void(QObject* sender)>;
using TCloseEvent = std::function<void(QObject* sender, TCloseAction& action)>;
// key is a Qt::Key value; setting it to 0 discards the key.
using TKeyEvent = std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers shift)>;
// key is the typed character; setting it to QChar() (0) discards it.
using TKeyPressEvent = std::function<void(QObject* sender, QChar& key)>;

} // namespace trd
