#pragma once

#include <QApplication>

#include <memory>

// Makes the application object, which opens the window system. Where no platform can be opened,
// Qt 6.4 logs what each one it tried said and aborts, advising to reinstall the program; this
// ends the program instead with one line of its own that names the platforms tried and why each
// failed, and exit status 1. What Qt says while it opens a platform that works is shown as
// usual, once the application object is made.
std::unique_ptr<QApplication> OpenWindowSystem(int& argc, char** argv);
