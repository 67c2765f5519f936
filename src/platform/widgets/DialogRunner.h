#pragma once

#include <QDialog>

// Shows a window modally and returns when it has been closed. The real program runs the
// window's own event loop; tests look at the window instead of racing a nested loop.
class DialogRunner
{
public:
    virtual ~DialogRunner() = default;
    virtual void runModal(QDialog& window) = 0;
};

class ExecDialogRunner final : public DialogRunner
{
public:
    void runModal(QDialog& window) override { window.exec(); }
};
