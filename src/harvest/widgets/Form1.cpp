#include "Form1.h"

#include "CaptionedProgressBar.h"
#include "Controls.h"
#include "DialogRunner.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Form5.h"
#include "MessagePrompter.h"
#include "ReportListView.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

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
    , m_run(*this, m_table, {services.fetcher, services.yielder, services.prompter}, m_settings.workFolder,
            m_settings.siteAuthority)
    , m_ping(m_table, services.prompter, services.icmp, services.sockets)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Varnholt Proxy List Extractor v1.1"_s);
    setFont(WindowFont());
    setFixedSize(TwipsSize(7455, 3945));
    createControls();
    arrangeTabOrder();
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

    m_command1 =
        MakeButton(this, u"Command1"_s, QString::fromLatin1(HarvestRun::StartCaption), TwipsRect(120, 3510, 1200, 375));
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
}

void Form1::arrangeTabOrder()
{
    const QList<QWidget*> order{m_command1, m_list,     m_text1,    m_command6, m_command2,
                                m_command3, m_command4, m_command5, m_text2};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    m_command1->setFocus();
}

void Form1::closeEvent(QCloseEvent* event)
{
    Command5_Click();
    event->accept();
}

void Form1::Command1_Click()
{
    m_run.Command1_Click();
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

void Form1::Command6_Click()
{
    m_ping.Command6_Click();
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

void Form1::EnableListActions()
{
    m_command2->setEnabled(true);
    m_command3->setEnabled(true);
    m_command6->setEnabled(true);
}

void Form1::DisableListActions()
{
    m_command2->setEnabled(false);
    m_command3->setEnabled(false);
    m_command6->setEnabled(false);
}

QString Form1::startCaption() const
{
    return m_command1->text();
}

void Form1::setStartCaption(const QString& caption)
{
    m_command1->setText(caption);
    m_command1->setAccessibleName(QString(caption).remove(u'&'));
}

QString Form1::pageCountText() const
{
    return m_text2->text();
}

void Form1::setPageCountText(const QString& text)
{
    m_text2->setText(text);
}

void Form1::setReceivedText(const QString& text)
{
    m_text1->setText(text);
}

ProgressDisplay& Form1::pagesBar()
{
    return *m_p2;
}

ProgressDisplay& Form1::pageBar()
{
    return *m_p1;
}

void Form1::setListActionsEnabled(bool enabled)
{
    if (enabled)
        EnableListActions();
    else
        DisableListActions();
}
