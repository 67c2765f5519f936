#pragma once

#include "WhoisSession.h"

#include <QDialog>

class QPushButton;
class TranscriptView;

// The whois window: one lookup of the selected proxy's address, started when the window
// opens, its transcript shown as it grows. The window stays open after the lookup has ended
// until the user closes it.
class Form5 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form5)

public:
    static constexpr auto Caption = "Whois Client";

    Form5(const HostPort& server, WhoisSession::AddressSource selectedAddress, QWidget* parent = nullptr,
          WhoisLimits limits = {});

    // However the window is closed, by "&Close", by Escape or by the title bar's close box, the
    // lookup ends with it: no connection outlives the window.
    void done(int result) override;

private:
    void Form_Load();
    void Command1_Click();

    WhoisSession m_session;
    TranscriptView* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
};
