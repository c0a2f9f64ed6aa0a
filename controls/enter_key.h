// The key that activates a control, read the same way by every control.
#pragma once

#include <QKeyEvent>

namespace orvandel {

// Return or Enter (the keypad's too), with no modifier held.
inline bool IsEnterKey(const QKeyEvent* event) {
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
           (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
}

}  // namespace orvandel
