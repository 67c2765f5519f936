#include "Form5.h"

#include "Controls.h"
#include "TranscriptView.h"
#include "Twips.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

Form5::Form5(const HostPort& server, WhoisSession::AddressSource selectedAddress, QWidget* parent, WhoisLimits limits)
    : QDialog(parent, ToolWindowFlags)
    , m_session(server, std::move(selectedAddress), limits)
    , m_text1(new TranscriptView(this))
    // Enter while reading the transcript is no request to close it.
    , m_command1(MakeButton(this, u"Command1"_s, u"&Close"_s, TwipsRect(4920, 3120, 1335, 375)))
{
    SetUpToolWindow(*this, QString::fromLatin1(Caption), TwipsSize(6375, 3570));

    m_text1->setObjectName(u"Text1"_s);
    m_text1->setAccessibleName(u"Transcript"_s);
    m_text1->setGeometry(TwipsRect(120, 120, 6135, 2895));

    setTabOrder(m_text1, m_command1);

    connect(&m_session, &WhoisSession::appended, m_text1, &TranscriptView::appendPiece);
    connect(m_command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    Form_Load();
}

void Form5::done(int result)
{
    m_session.close();
    QDialog::done(result);
}

void Form5::Form_Load()
{
    m_session.start();
}

void Form5::Command1_Click()
{
    reject();
}
