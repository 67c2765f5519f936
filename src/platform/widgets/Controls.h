#pragma once

#include <QRect>
#include <QString>
#include <Qt>

class QDialog;
class QFont;
class QLabel;
class QPushButton;
class QWidget;

// The look of the secondary windows: a slim title bar with a close box, no minimise or
// maximise button, a size that does not change.
constexpr Qt::WindowFlags ToolWindowFlags =
    Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// The windows' font at 8.25 pt; where the family is not installed, Qt picks a sans-serif one.
QFont WindowFont(const QString& family = QStringLiteral("Verdana"));

// Places a window that has not been shown yet in the middle of its screen: the secondary
// windows on the main window's. Where the compositor places windows itself (Wayland), it does.
void CentreOnScreen(QWidget& window);

// Caption, font and fixed client size of a secondary window, made afresh at every showing,
// centred on the screen.
void SetUpToolWindow(QDialog& window, const QString& caption, QSize clientSize);

// Esc closes a dialog unless told otherwise; a window given this closes only by its own
// buttons and its close box.
void KeepOpenOnEscape(QDialog& window);

// A label named after its control; its text is never taken for markup.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry);

// A button named after its control. Enter does not press it unless the window says so, and its
// accessible name is the caption without the accelerator mark.
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
