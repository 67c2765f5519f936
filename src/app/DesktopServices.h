#pragma once

#include "DesktopUrlOpener.h"
#include "DialogRunner.h"
#include "EventYielder.h"
#include "FileDialogPrompter.h"
#include "Form1.h"
#include "HttpPageFetcher.h"
#include "LinuxIcmpLibrary.h"
#include "LinuxSocketLibrary.h"
#include "MessageBoxPrompter.h"

// The real network, message boxes, file dialog, browser, modal windows, ICMP provider and
// socket library that the main window is given on the desktop.
class DesktopServices final
{
    Q_DISABLE_COPY_MOVE(DesktopServices)

public:
    DesktopServices() = default;

    Form1::Services services()
    {
        return {m_fetcher, m_yielder, m_prompter, m_files, m_browser, m_dialogs, m_icmp, m_sockets};
    }
    MessagePrompter& prompter() { return m_prompter; }

private:
    HttpPageFetcher m_fetcher;
    ThrottledEventYielder m_yielder;
    MessageBoxPrompter m_prompter;
    FileDialogPrompter m_files;
    DesktopUrlOpener m_browser;
    ExecDialogRunner m_dialogs;
    LinuxIcmpLibrary m_icmp{m_prompter};
    LinuxSocketLibrary m_sockets;
};
