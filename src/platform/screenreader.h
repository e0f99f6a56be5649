#pragma once

class QWidget;

namespace calvenza {

// Whether a screen reader listens: the desktop says so (org.a11y.Status.ScreenReaderEnabled), or
// a program on the accessibility bus follows the keyboard focus, as Orca started by hand does.
// Asked once, at start; false without a session bus; a second and a half at worst.
[[nodiscard]] bool screenReaderListening();

// Alt alone no longer opens the window's menu bar: pressed before X by a hurried finger it made
// the screen reader announce a menu before the farewell. Alt with a letter works as before.
void keepAltForAccessKeys(QWidget *menuBar);

} // namespace calvenza
