#include "Form2.h"

#include "Controls.h"
#include "InitialSaveFolder.h"
#include "ListFileWriter.h"
#include "MessagePrompter.h"
#include "SaveFilePrompter.h"
#include "Twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

Form2::Form2(const ProxyTable& table, SaveFilePrompter& files, MessagePrompter& messages, QString programFolder,
             QWidget* parent)
    : QDialog(parent, ToolWindowFlags)
    , m_table(table)
    , m_files(files)
    , m_messages(messages)
    , m_programFolder(std::move(programFolder))
{
    SetUpToolWindow(*this, u"Save Proxy List..."_s, TwipsSize(4335, 1695));
    KeepOpenOnEscape(*this);
    buildControls();
}

void Form2::buildControls()
{
    auto* frame = new QGroupBox(u"List Format"_s, this);
    frame->setObjectName(u"Frame1"_s);
    frame->setGeometry(TwipsRect(120, 120, 2775, 1455));

    MakeLabel(frame, u"Label3"_s, u"Separator:"_s, TwipsRect(840, 360, 975, 255));
    QLabel* ipLabel = MakeLabel(frame, u"Label1"_s, u"<IP> +"_s, TwipsRect(120, 600, 735, 255));
    ipLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MakeLabel(frame, u"Label2"_s, u"+ <Port>"_s, TwipsRect(1680, 600, 855, 255));

    m_separator = new QLineEdit(u":"_s, frame);
    m_separator->setObjectName(u"Text1"_s);
    m_separator->setAccessibleName(u"Separator"_s);
    m_separator->setGeometry(TwipsRect(960, 600, 615, 285));

    m_allData = new QCheckBox(u"No, save with all data"_s, frame);
    m_allData->setObjectName(u"Check1"_s);
    m_allData->setGeometry(TwipsRect(120, 1080, 2175, 255));

    // Neither button answers Enter or Esc: the user saves or cancels on purpose.
    QPushButton* ok = MakeButton(this, u"Command1"_s, u"&Ok"_s, TwipsRect(3000, 870, 1215, 345));
    QPushButton* cancel = MakeButton(this, u"Command2"_s, u"&Cancel"_s, TwipsRect(3000, 1230, 1215, 345));

    setTabOrder(m_separator, ok);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_allData);
    m_separator->setFocus();

    connect(m_allData, &QCheckBox::toggled, this, &Form2::Check1_Click);
    connect(ok, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &Form2::reject);
}

void Form2::Check1_Click()
{
    m_separator->setEnabled(!m_allData->isChecked());
}

ListFormat Form2::chosenFormat() const
{
    if (m_allData->isChecked())
        return {ListFormat::Layout::AllData, {}};
    return {ListFormat::Layout::AddressAndPort, m_separator->text()};
}

void Form2::Command1_Click()
{
    const SaveFileRequest request{u"Save Proxy List As..."_s, u"Text Files (*.txt)"_s,
                                  InitialSaveFolder(m_programFolder), u"results.txt"_s, SaveFileRequest::Appends};
    const std::optional<QString> path = m_files.askSaveFileName(request);
    if (!path)
        return;
    const SaveResult saved = ListFileWriter(chosenFormat()).append(*path, m_table);
    if (!saved.ok) {
        m_messages.showMessage(saved.error, MessageStyle::Stop, MessagePrompter::defaultTitle());
        return;
    }
    accept();
}
