#include "ProxyCheckWindow.h"

#include "CaptionedProgressBar.h"
#include "Controls.h"
#include "DialogRunner.h"
#include "Form2.h"
#include "MessagePrompter.h"
#include "PlainText.h"
#include "ProxyTable.h"
#include "RememberedCheck.h"
#include "Twips.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

// Often enough to see the rate move, seldom enough that showing it costs nothing.
constexpr std::chrono::milliseconds RateInterval{500};

QLineEdit* MakeField(QWidget* parent, const QString& name, const QString& accessibleName, const QString& text)
{
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setAccessibleName(accessibleName);
    return field;
}

// A caption for a field, whose accelerator moves the focus to it.
QLabel* MakeBuddy(QWidget* parent, const QString& caption, QLineEdit* field)
{
    QLabel* label = MakeLabel(parent, field->objectName() + u"Label"_s, caption, {});
    label->setBuddy(field);
    return label;
}

} // namespace

ProxyCheckWindow::ProxyCheckWindow(std::vector<ProxyEntry> rows, Services services, QString programFolder,
                                   QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_services(services)
    , m_programFolder(std::move(programFolder))
    , m_check(std::move(rows))
{
    setObjectName(u"ProxyCheckWindow"_s);
    setWindowTitle(QString::fromLatin1(Caption));
    setFont(WindowFont());
    KeepOpenOnEscape(*this); // Esc would end a check that has run for minutes
    buildControls();
    showCheck();
    showCounts();
    resize(TwipsSize(14700, 6750)); // every column in sight
    CentreOnScreen(*this);
}

// The judge, jobs and time-out as last started, each after the caption that takes the focus to it.
QLayout* ProxyCheckWindow::buildFields()
{
    const RememberedCheck remembered = RememberedCheck::load();
    m_judge = MakeField(this, u"Judge"_s, u"Judge address"_s, remembered.judge);
    m_judge->setPlaceholderText(u"http://host:port/ (empty: no judge, up to \"speaks\")"_s);
    m_jobs = MakeField(this, u"Jobs"_s, u"Jobs"_s, remembered.jobs);
    m_timeout = MakeField(this, u"Timeout"_s, u"Time-out in seconds"_s, remembered.timeoutSeconds);
    m_jobs->setMaximumWidth(Twips(900));
    m_timeout->setMaximumWidth(Twips(900));
    auto* fields = new QHBoxLayout;
    for (const auto& [caption, field] : {std::pair{u"&Judge:"_s, m_judge}, std::pair{u"J&obs:"_s, m_jobs},
                                         std::pair{u"T&ime-out (seconds):"_s, m_timeout}}) {
        fields->addWidget(MakeBuddy(this, caption, field));
        fields->addWidget(field, field == m_judge ? 1 : 0);
    }
    return fields;
}

// The rows in the table's order until a click on a column header sorts them.
void ProxyCheckWindow::buildResults()
{
    m_sorted.setSourceModel(&m_check.results());
    m_sorted.setSortRole(CheckResultsModel::SortRole);
    m_results = new QTreeView(this);
    m_results->setObjectName(u"Results"_s);
    m_results->setAccessibleName(u"Checked proxies"_s);
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true); // keeps thousands of rows fast to fill and sort
    m_results->setAllColumnsShowFocus(true);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setSelectionMode(QAbstractItemView::SingleSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setModel(&m_sorted);
    m_results->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_results->setSortingEnabled(true);
    int column = 0;
    for (const int width : {1500, 700, 1300, 1300, 2700, 1200, 1200, 1500, 1200, 1000})
        m_results->setColumnWidth(column++, Twips(width));
}

void ProxyCheckWindow::buildControls()
{
    QLayout* fields = buildFields();
    buildResults();

    m_progress = new CaptionedProgressBar(this);
    m_progress->setObjectName(u"Progress"_s);
    m_rate = MakeLabel(this, u"Rate"_s, QString(), {});
    m_rate->setAccessibleName(u"Proxies checked a second"_s);
    m_rate->setMinimumWidth(Twips(1500));
    m_rate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* progress = new QHBoxLayout;
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_rate);

    m_status = MakeLabel(this, u"Status"_s, QString(), {});
    m_status->setAccessibleName(u"Check status"_s);
    m_status->setWordWrap(true);

    m_start = MakeButton(this, u"Start"_s, u"&Start"_s, {});
    m_saveWorking = MakeButton(this, u"SaveWorking"_s, u"Save &Working..."_s, {});
    QPushButton* close = MakeButton(this, u"Close"_s, u"&Close"_s, {});
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_saveWorking);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_results, 1);
    layout->addLayout(progress);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    const QList<QWidget*> order{m_judge, m_jobs, m_timeout, m_results, m_start, m_saveWorking, close};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_start->setFocus();

    connect(m_start, &QPushButton::clicked, this, &ProxyCheckWindow::Start_Click);
    connect(m_saveWorking, &QPushButton::clicked, this, &ProxyCheckWindow::SaveWorking_Click);
    connect(close, &QPushButton::clicked, this, &ProxyCheckWindow::reject);
}

// The one place where the check's events become the window's captions and texts.
void ProxyCheckWindow::showCheck()
{
    connect(&m_check, &ListCheck::checked, this, &ProxyCheckWindow::showCounts);
    connect(&m_check, &ListCheck::judgeAnswered, this, [this](const QString& checkerAddress) {
        m_status->setText(u"The judge sees this machine as %1."_s.arg(DisplayText(checkerAddress)));
    });
    connect(&m_check, &ListCheck::jobsLowered, this, [this](int jobs, const QString& reason) {
        m_status->setText(u"This machine ran short (%1): checking %2 proxies at once from now on."_s.arg(
            DisplayText(reason), QString::number(jobs)));
    });
    connect(&m_check, &ListCheck::finished, this, &ProxyCheckWindow::showEnding);
    m_rateTimer.setInterval(RateInterval);
    connect(&m_rateTimer, &QTimer::timeout, this, &ProxyCheckWindow::showCounts);
}

void ProxyCheckWindow::done(int result)
{
    m_check.stop();
    QDialog::done(result);
}

// Start, or stop the check in progress.
void ProxyCheckWindow::Start_Click()
{
    if (m_check.isRunning()) {
        m_check.stop();
        return;
    }
    const std::optional<ListCheck::Options> options = readOptions();
    if (!options)
        return;
    RememberedCheck{m_judge->text().trimmed(), m_jobs->text().trimmed(), m_timeout->text().trimmed()}.save();
    setRunning(true);
    m_status->setText(options->judge ? u"Asking the judge..."_s
                                     : u"Without a judge each proxy is checked up to \"speaks\"."_s);
    m_check.start(*options);
    showCounts();
}

// What the fields ask for; nothing, after saying why, when one of them cannot be used.
std::optional<ListCheck::Options> ProxyCheckWindow::readOptions()
{
    ListCheck::Options options;
    const QString judge = m_judge->text().trimmed();
    if (!judge.isEmpty())
        options.judge = JudgeAt(QUrl(judge, QUrl::StrictMode), {});
    const std::optional<int> jobs = CheckJobsFromText(m_jobs->text());
    const std::optional<std::chrono::milliseconds> timeout = ProbeTimeoutFromText(m_timeout->text());
    const auto refuse = [this](QLineEdit* field, const QString& why) {
        m_services.messages.showMessage(why, MessageStyle::Exclamation, MessagePrompter::defaultTitle());
        field->setFocus();
        return std::nullopt;
    };
    if (!judge.isEmpty() && !options.judge)
        return refuse(m_judge,
                      u"The judge \"%1\" is not an http:// address with a host. Leave it empty to check "
                      u"without a judge, up to \"speaks\"."_s.arg(DisplayText(judge)));
    if (!jobs)
        return refuse(m_jobs,
                      u"The jobs \"%1\" are not a whole number from 1 to %2."_s.arg(DisplayText(m_jobs->text()),
                                                                                    QString::number(MaxCheckJobs)));
    if (!timeout)
        return refuse(m_timeout,
                      u"The time-out \"%1\" is not a number of seconds from 0.1 to %2."_s.arg(
                          DisplayText(m_timeout->text()), QString::number(MaxProbeTimeoutSeconds)));
    options.jobs = *jobs;
    options.probing.timeout = *timeout;
    return options;
}

// The working rows go through the save window, in either of its formats and by its rules.
void ProxyCheckWindow::SaveWorking_Click()
{
    ProxyTable working;
    for (const ProxyEntry& entry : m_check.workingEntries())
        working.append(entry);
    Form2 form(working, m_services.files, m_services.messages, m_programFolder, this);
    m_services.dialogs.runModal(form);
}

void ProxyCheckWindow::showCounts()
{
    m_progress->setMaximum(int(m_check.proxyCount()));
    m_progress->setValue(int(m_check.checkedCount()));
    m_progress->setCaption(u"Checked %1 of %2, %3 working"_s.arg(QString::number(m_check.checkedCount()),
                                                                 QString::number(m_check.proxyCount()),
                                                                 QString::number(m_check.workingCount())));
    if (m_check.isRunning())
        m_rate->setText(u"%1 a second"_s.arg(QString::number(m_check.rate())));
    m_saveWorking->setEnabled(m_check.workingCount() > 0);
}

void ProxyCheckWindow::showEnding(CheckEnding ending, const QString& reason)
{
    setRunning(false);
    showCounts();
    if (ending == CheckEnding::Completed || ending == CheckEnding::Stopped) {
        m_status->setText(ending == CheckEnding::Completed ? u"Completed."_s : u"Stopped."_s);
        return;
    }
    const QString told = u"The check stopped: %1"_s.arg(DisplayText(reason));
    m_status->setText(told);
    m_services.messages.showMessage(told, MessageStyle::Stop, MessagePrompter::defaultTitle());
}

void ProxyCheckWindow::setRunning(bool running)
{
    const QString caption = running ? u"S&top"_s : u"&Start"_s;
    m_start->setText(caption);
    m_start->setAccessibleName(QString(caption).remove(u'&'));
    for (QLineEdit* field : {m_judge, m_jobs, m_timeout})
        field->setEnabled(!running);
    if (running)
        m_rateTimer.start();
    else
        m_rateTimer.stop();
}
