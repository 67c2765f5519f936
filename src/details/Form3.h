#pragma once

#include <QDialog>

class ProxyTable;

// "Selected Proxy Information": the five fields of the row selected when the window opens,
// as read-only text the user can select and copy.
class Form3 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form3)

public:
    explicit Form3(const ProxyTable& table, QWidget* parent = nullptr);
};
