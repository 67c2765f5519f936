#pragma once

#include "HarvestRun.h"
#include "HostPort.h"
#include "PingCommand.h"
#include "ProxyTable.h"
#include "WhoisSession.h"

#include <QPoint>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

class CaptionedProgressBar;
class QAction;
class QMenu;
class DialogRunner;
class EventYielder;
class IcmpLibrary;
class MessagePrompter;
class PageFetcher;
class QLabel;
class QLineEdit;
class QPushButton;
class ReportListView;
class SaveFilePrompter;
class SocketLibrary;
class UrlOpener;

// The main window: the proxy table, the controls of a harvest run and the buttons that lead to
// the other windows. It shows what the harvest run tells; the run, the parser and the table
// live in plain classes.
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    static constexpr auto StartCaption = "&Get List!";
    static constexpr auto CancelCaption = "&Cancel";

    struct Services
    {
        PageFetcher& fetcher;
        EventYielder& yielder;
        MessagePrompter& prompter;
        SaveFilePrompter& saveFilePrompter;
        UrlOpener& urlOpener;
        DialogRunner& dialogs; // shows the secondary windows modally
        IcmpLibrary& icmp;
        SocketLibrary& sockets;
    };

    struct Settings
    {
        QString workFolder;
        QString programFolder; // where the save dialog starts, when the user may write there
        QString siteAuthority = QString::fromLatin1(HarvestRun::DefaultSiteHost);
        HostPort whoisServer{QString::fromLatin1(WhoisSession::DefaultServerHost), std::nullopt};
    };

    Form1(Services services, Settings settings, QWidget* parent = nullptr);
    ~Form1() override;

    ProxyTable& table() { return m_table; }
    const HarvestRun& run() const { return m_run; }

Q_SIGNALS:
    // "&Quit", or the window closed: the program is to end now, a run in progress included.
    void endRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void createListMenu();
    void arrangeTabOrder();
    void showHarvest();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void List_DblClick();
    void mnuCheckList_Click();
    void EnableListActions();
    void DisableListActions();
    void setStartCaption(const QString& caption);
    void showEnding(HarvestEnding ending);

    Services m_services;
    Settings m_settings;
    ProxyTable m_table;
    HarvestRun m_run;
    PingCommand m_ping;

    ReportListView* m_list = nullptr;
    QLabel* m_label1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    CaptionedProgressBar* m_p2 = nullptr;
    QLabel* m_label2 = nullptr;
    QLineEdit* m_text1 = nullptr;
    CaptionedProgressBar* m_p1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command3 = nullptr;
    QPushButton* m_command6 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command4 = nullptr;
    QPushButton* m_command5 = nullptr;

    // The table's context menu: the row actions of the buttons and the double click, and the check.
    // A window of its own, not one of the main window's controls.
    std::unique_ptr<QMenu> m_mnuList;
    QAction* m_mnuWhois = nullptr;
    QAction* m_mnuPing = nullptr;
    QAction* m_mnuCheckList = nullptr;

    // The table's size and the places of the controls below it at the window's first size; a
    // larger window adds what it gains to them.
    QSize m_designedListSize;
    std::vector<std::pair<QWidget*, QPoint>> m_belowTable;
};
