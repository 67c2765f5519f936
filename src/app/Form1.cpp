#include "Form1.h"

#include "CaptionedProgressBar.h"
#include "Controls.h"
#include "DialogRunner.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Form5.h"
#include "MessagePrompter.h"
#include "ProxyCheckWindow.h"
#include "ReportListView.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>

using namespace Qt::StringLiterals;

namespace {

// The window opens at this size and never shrinks below it; what it gains goes to the table.
QSize DesignedSize()
{
    return TwipsSize(7455, 3945);
}

template <typename Widget>
Widget* Place(Widget* widget, const QString& name, QRect twipsRect)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect);
    return widget;
}

QLabel* MakeCaption(QWidget* parent, const QString& name, const QString& text, QRect rect)
{
    QLabel* label = MakeLabel(parent, name, text, rect);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

Form1::Form1(Services services, Settings settings, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
    , m_settings(std::move(settings))
    , m_run(m_table, {services.fetcher, services.yielder}, m_settings.workFolder, m_settings.siteAuthority)
    , m_ping({services.icmp, services.sockets, services.prompter})
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Varnholt Proxy List Extractor v"_s + QStringLiteral(VARNHOLT_VERSION));
    setFont(WindowFont());
    createControls();
    resize(DesignedSize());
    setMinimumSize(DesignedSize());
    arrangeTabOrder();
    showHarvest();
    CentreOnScreen(*this);
}

Form1::~Form1() = default;

void Form1::createControls()
{
    m_list = Place(new ReportListView(this), u"List"_s, TwipsRect(120, 120, 7215, 2535));
    m_list->setModel(&m_table.model());
    m_list->setSelectionModel(&m_table.selection());
    m_list->setColumnWidths({Twips(1600), Twips(700), Twips(1540), Twips(1750), Twips(1200)});
    m_list->setAccessibleName(u"Proxy table"_s);
    connect(m_list, &ReportListView::doubleClickedAnywhere, this, &Form1::List_DblClick);
    createListMenu();

    m_label1 = MakeCaption(this, u"Label1"_s, u"Pages to Retrieve:"_s, TwipsRect(0, 2760, 1695, 255));
    m_text2 = Place(new QLineEdit(u"20"_s, this), u"Text2"_s, TwipsRect(1800, 2760, 735, 285));
    m_text2->setAccessibleName(u"Pages to Retrieve"_s);
    m_label1->setBuddy(m_text2);
    m_p2 = Place(new CaptionedProgressBar(this), u"P2"_s, TwipsRect(2640, 2780, 4695, 255));

    m_label2 = MakeCaption(this, u"Label2"_s, u"Proxys Received:"_s, TwipsRect(0, 3120, 1695, 255));
    m_text1 = Place(new QLineEdit(u"0"_s, this), u"Text1"_s, TwipsRect(1800, 3120, 735, 285));
    m_text1->setEnabled(false);
    m_text1->setAccessibleName(u"Proxys Received"_s);
    m_label2->setBuddy(m_text1);
    m_p1 = Place(new CaptionedProgressBar(this), u"P1"_s, TwipsRect(2640, 3140, 4695, 255));

    m_command1 = MakeButton(this, u"Command1"_s, QString::fromLatin1(StartCaption), TwipsRect(120, 3510, 1200, 375));
    m_command3 = MakeButton(this, u"Command3"_s, u"&Save List..."_s, TwipsRect(1320, 3510, 1200, 375));
    m_command6 = MakeButton(this, u"Command6"_s, u"&Ping..."_s, TwipsRect(2520, 3510, 1200, 375));
    m_command2 = MakeButton(this, u"Command2"_s, u"&Whois..."_s, TwipsRect(3720, 3510, 1200, 375));
    m_command4 = MakeButton(this, u"Command4"_s, u"&About..."_s, TwipsRect(4920, 3510, 1200, 375));
    m_command5 = MakeButton(this, u"Command5"_s, u"&Quit"_s, TwipsRect(6120, 3510, 1200, 375));
    DisableListActions();

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(m_command6, &QPushButton::clicked, this, &Form1::Command6_Click);

    m_designedListSize = m_list->size();
    const QList<QWidget*> belowTable{m_label1,   m_text2,    m_p2,       m_label2,   m_text1,    m_p1,
                                     m_command1, m_command3, m_command6, m_command2, m_command4, m_command5};
    for (QWidget* control : belowTable)
        m_belowTable.emplace_back(control, control->pos());
}

// Each action keeps the rules of the control it stands for: the details as the double click,
// whois and ping as their buttons, and the check as the list actions.
void Form1::createListMenu()
{
    m_mnuList = std::make_unique<QMenu>();
    m_mnuList->setObjectName(u"mnuList"_s);
    m_mnuList->setFont(WindowFont());
    m_mnuList->setAccessibleName(u"Proxy table actions"_s);
    const auto add = [this](const QString& name, const QString& caption, auto handler) {
        QAction* action = m_mnuList->addAction(caption, this, handler);
        action->setObjectName(name);
        return action;
    };
    add(u"mnuDetails"_s, u"&Details..."_s, &Form1::List_DblClick);
    m_mnuList->addSeparator();
    m_mnuWhois = add(u"mnuWhois"_s, u"&Whois..."_s, &Form1::Command2_Click);
    m_mnuPing = add(u"mnuPing"_s, u"&Ping..."_s, &Form1::Command6_Click);
    m_mnuList->addSeparator();
    m_mnuCheckList = add(u"mnuCheckList"_s, u"Chec&k List..."_s, &Form1::mnuCheckList_Click);
    m_mnuCheckList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    addAction(m_mnuCheckList); // Ctrl+K works without the menu open

    connect(m_list, &ReportListView::contextMenuRequested, this, [this](QPoint at) { m_mnuList->popup(at); });
}

void Form1::arrangeTabOrder()
{
    const QList<QWidget*> order{m_command1, m_list,     m_text1,    m_command6, m_command2,
                                m_command3, m_command4, m_command5, m_text2};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_command1->setFocus();
}

// The one place where the run's events become the captions, values and maxima of the bars and
// the received counter.
void Form1::showHarvest()
{
    connect(&m_run, &HarvestRun::started, this, &Form1::DisableListActions);
    connect(&m_run, &HarvestRun::pageStarted, this,
            [this](int number, int pageCount, const QString& pageCountText, const QUrl&) {
                m_p2->setMaximum(pageCount);
                m_p2->setCaption(PageCaption(number, pageCountText));
            });
    connect(&m_run, &HarvestRun::parseStageBeginning, m_p1, [this] { m_p1->setValue(0); });
    // A stage's caption and value are painted the moment the stage begins: a page parses in less
    // time than the throttled yield lets pass between two rounds of window events, which would
    // never show them.
    connect(&m_run, &HarvestRun::parseProgressed, this, [this](ParseStage stage, int value, int maximum) {
        m_p1->setMaximum(maximum);
        m_p1->setValue(value);
        m_p1->setCaption(StageCaption(stage));
        if (value == 0)
            m_p1->repaint();
    });
    connect(&m_run, &HarvestRun::entryAppended, this,
            [this](int rowCount) { m_text1->setText(QString::number(rowCount)); });
    connect(&m_run, &HarvestRun::pageEnded, m_p2, &CaptionedProgressBar::setValue);
    connect(&m_run, &HarvestRun::finished, this, &Form1::showEnding);
}

// A failed run ends silently: both bars keep the captions they had, so the pages bar still
// names the page that failed. A stopped run's button already reads "&Get List!".
void Form1::showEnding(HarvestEnding ending)
{
    if (ending == HarvestEnding::Abandoned)
        return;
    m_p2->setValue(0);
    if (ending == HarvestEnding::Stopped)
        m_p1->setValue(0);
    else
        setStartCaption(QString::fromLatin1(StartCaption));
    const QString verdict = EndingCaption(ending);
    if (verdict.isEmpty())
        return;
    m_p1->setCaption(verdict);
    m_p2->setCaption(verdict);
}

// The table takes the room the window gains; the controls below it keep their distance to the
// bottom edge and their places across. A window system that forces a smaller window cuts the
// controls off rather than piling them on the table.
void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize gained = (event->size() - DesignedSize()).expandedTo(QSize(0, 0));
    m_list->resize(m_designedListSize + gained);
    for (const auto& [control, designed] : m_belowTable)
        control->move(designed + QPoint(0, gained.height()));
}

void Form1::closeEvent(QCloseEvent* event)
{
    Command5_Click();
    event->accept();
}

// Start or cancel, as the button's caption says.
void Form1::Command1_Click()
{
    const QString startCaption = QString::fromLatin1(StartCaption);
    if (m_command1->text() != startCaption) {
        setStartCaption(startCaption);
        m_run.requestCancel();
        return;
    }
    if (m_run.isActive()) {
        // After a cancel the button reads "&Get List!" again while the run finishes its page;
        // a second run inside the first would interleave both on one table.
        m_services.prompter.showMessage(
            u"The harvest is still finishing its current page. Start a new one when it has stopped."_s,
            MessageStyle::Information, MessagePrompter::defaultTitle());
        return;
    }
    setStartCaption(QString::fromLatin1(CancelCaption));
    m_text2->setText(ClampedPageCount(m_text2->text()));
    const HarvestEnding ending = m_run.start([this] { return m_text2->text(); });
    if (ending != HarvestEnding::Abandoned && m_table.count() >= 1)
        EnableListActions();
}

void Form1::Command2_Click()
{
    Form5 form(
        m_settings.whoisServer,
        [this]() -> std::optional<QString> {
            const std::optional<ProxyEntry> selected = m_table.selectedEntry();
            return selected ? std::optional(selected->ipAddress) : std::nullopt;
        },
        this);
    m_services.dialogs.runModal(form);
}

void Form1::Command3_Click()
{
    Form2 form(m_table, m_services.saveFilePrompter, m_services.prompter, m_settings.programFolder, this);
    m_services.dialogs.runModal(form);
}

// Also during a run: the run waits in its yield until the window is closed.
void Form1::Command4_Click()
{
    Form4 form(m_services.urlOpener, this);
    m_services.dialogs.runModal(form);
}

void Form1::Command5_Click()
{
    m_run.abandon();
    Q_EMIT endRequested();
}

// The list actions are usable only when the table holds rows, but the user may have cleared
// the selection.
void Form1::Command6_Click()
{
    const std::optional<ProxyEntry> proxy = m_table.selectedEntry();
    if (!proxy) {
        m_services.prompter.showMessage(u"No proxy is selected. Select a row of the list, then ping again."_s,
                                        MessageStyle::Exclamation, MessagePrompter::defaultTitle());
        return;
    }
    const PingVerdict verdict = m_ping.ping(proxy->ipAddress);
    m_services.prompter.showMessage(verdict.message, verdict.style, verdict.title);
}

void Form1::List_DblClick()
{
    if (m_table.count() == 0) {
        m_services.prompter.showMessage(u"The List is Empty"_s, MessageStyle::Stop, u"Error"_s);
        return;
    }
    Form3 form(m_table, this);
    m_services.dialogs.runModal(form);
}

// The check of the rows the table holds now; a later harvest does not change them.
void Form1::mnuCheckList_Click()
{
    std::vector<ProxyEntry> rows;
    rows.reserve(std::size_t(m_table.count()));
    for (int row = 0; row < m_table.count(); ++row)
        rows.push_back(m_table.entry(row));
    ProxyCheckWindow window(std::move(rows), {m_services.saveFilePrompter, m_services.prompter, m_services.dialogs},
                            m_settings.programFolder, this);
    m_services.dialogs.runModal(window);
}

void Form1::EnableListActions()
{
    m_command2->setEnabled(true);
    m_command3->setEnabled(true);
    m_command6->setEnabled(true);
    for (QAction* action : {m_mnuWhois, m_mnuPing, m_mnuCheckList})
        action->setEnabled(true);
}

void Form1::DisableListActions()
{
    m_command2->setEnabled(false);
    m_command3->setEnabled(false);
    m_command6->setEnabled(false);
    for (QAction* action : {m_mnuWhois, m_mnuPing, m_mnuCheckList})
        action->setEnabled(false);
}

void Form1::setStartCaption(const QString& caption)
{
    m_command1->setText(caption);
    m_command1->setAccessibleName(QString(caption).remove(u'&'));
}
