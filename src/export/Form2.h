#pragma once

#include "ListFormat.h"

#include <QDialog>

class MessagePrompter;
class ProxyTable;
class QCheckBox;
class QLineEdit;
class SaveFilePrompter;

// "Save Proxy List...": asks for the line format and the file, then appends the whole proxy
// table to that file. A dismissed file dialog or a failed save keeps the window open, so the
// user can choose again or cancel.
class Form2 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form2)

public:
    Form2(const ProxyTable& table, SaveFilePrompter& files, MessagePrompter& messages, QString programFolder,
          QWidget* parent = nullptr);

private Q_SLOTS:
    void Check1_Click();
    void Command1_Click();

private:
    void buildControls();
    ListFormat chosenFormat() const;

    const ProxyTable& m_table;
    SaveFilePrompter& m_files;
    MessagePrompter& m_messages;
    QString m_programFolder;
    QLineEdit* m_separator = nullptr;
    QCheckBox* m_allData = nullptr;
};
