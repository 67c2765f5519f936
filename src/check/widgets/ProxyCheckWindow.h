#pragma once

#include "ListCheck.h"

#include <QDialog>
#include <QSortFilterProxyModel>
#include <QTimer>

class CaptionedProgressBar;
class DialogRunner;
class MessagePrompter;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QTreeView;
class SaveFilePrompter;

// "Check Proxy List": checks the rows the main window's table held when it opened, shows each
// proxy's verdict as it comes and saves the working ones. The check itself is a ListCheck; the
// window shows it and remembers what the user typed.
class ProxyCheckWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProxyCheckWindow)

public:
    static constexpr auto Caption = "Check Proxy List";

    struct Services
    {
        SaveFilePrompter& files;
        MessagePrompter& messages;
        DialogRunner& dialogs; // shows the save window modally
    };

    ProxyCheckWindow(std::vector<ProxyEntry> rows, Services services, QString programFolder, QWidget* parent = nullptr);

    // Close and the close box stop the check first.
    void done(int result) override;

private:
    void buildControls();
    QLayout* buildFields();
    void buildResults();
    void showCheck();
    void Start_Click();
    void SaveWorking_Click();
    std::optional<ListCheck::Options> readOptions();
    void showCounts();
    void showEnding(CheckEnding ending, const QString& reason);
    void setRunning(bool running);

    Services m_services;
    QString m_programFolder;
    ListCheck m_check;
    QSortFilterProxyModel m_sorted;
    QTimer m_rateTimer; // the rate goes by the clock, so a check waiting on slow proxies shows it

    QLineEdit* m_judge = nullptr;
    QLineEdit* m_jobs = nullptr;
    QLineEdit* m_timeout = nullptr;
    QTreeView* m_results = nullptr;
    CaptionedProgressBar* m_progress = nullptr;
    QLabel* m_rate = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_saveWorking = nullptr;
};
