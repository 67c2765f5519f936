#include "Form4.h"

#include "ClickableLabel.h"
#include "Controls.h"
#include "Twips.h"
#include "UrlOpener.h"

#include <QIcon>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

QString MakerAddress()
{
    return u"https://www.tarnwick.example/"_s;
}

// One line of the table of facts: a heading, right-aligned, and its value.
void MakeFactLine(const QString& headingName, const QString& heading, const QString& valueName, const QString& value,
                  int top, QWidget* parent)
{
    QLabel* headingLabel = MakeLabel(parent, headingName, heading, TwipsRect(960, top, 1215, 255));
    headingLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MakeLabel(parent, valueName, value, TwipsRect(2295, top, 2280, 255));
}

} // namespace

Form4::Form4(UrlOpener& browser, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_browser(browser)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(u"Form4"_s);
    setFont(WindowFont(u"Arial"_s));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Button, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    // Shape1 outlines the window and gives it its size.
    auto* shape = new QFrame(this);
    shape->setObjectName(u"Shape1"_s);
    shape->setFrameShape(QFrame::Box);
    shape->setGeometry(TwipsRect(0, 0, 4815, 2055));
    setFixedSize(shape->size());
    // "Ok" is the window's own way to close: it has no title bar, and Esc does not close it.
    KeepOpenOnEscape(*this);
    CentreOnScreen(*this);

    buildPicture();
    buildTexts();
    buildAddress();
    buildOkButton();
}

void Form4::buildPicture()
{
    auto* picture = new QLabel(this);
    picture->setObjectName(u"Image1"_s);
    picture->setAccessibleName(u"Program icon"_s);
    picture->setGeometry(TwipsRect(240, 240, 480, 480));
    picture->setPixmap(QIcon(u":/varnholt/varnholt.svg"_s).pixmap(32, 32));
}

void Form4::buildTexts()
{
    QLabel* product = MakeLabel(this, u"Label1"_s, u"Varnholt Proxy List Extractor"_s, TwipsRect(960, 240, 3615, 255));
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);

    MakeFactLine(u"Label2"_s, u"Version:"_s, u"Label8"_s, QStringLiteral(VARNHOLT_VERSION), 600, this);
    MakeFactLine(u"Label5"_s, u"Release Date:"_s, u"Label9"_s, u"29/04/2004"_s, 855, this);
    MakeFactLine(u"Label7"_s, u"Greets:"_s, u"Label10"_s, u"-"_s, 1110, this);
    MakeLabel(this, u"Label4"_s, u"Tarnwick Inc."_s, TwipsRect(240, 1455, 2895, 255));
}

void Form4::buildAddress()
{
    m_address = new ClickableLabel(MakerAddress(), this);
    m_address->setObjectName(u"Label3"_s);
    m_address->setAccessibleName(MakerAddress());
    m_address->setGeometry(TwipsRect(240, 1710, 2895, 255));
    QFont underlined = m_address->font();
    underlined.setUnderline(true);
    m_address->setFont(underlined);
    QPalette darkBlue = m_address->palette();
    darkBlue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    m_address->setPalette(darkBlue);
    connect(m_address, &ClickableLabel::clicked, this, &Form4::Label3_Click);
}

void Form4::buildOkButton()
{
    auto* ok = new QPushButton(u"Ok"_s, this);
    ok->setObjectName(u"Command1"_s);
    ok->setGeometry(TwipsRect(3480, 1560, 1095, 375));
    connect(ok, &QPushButton::clicked, this, &Form4::accept);
    ok->setFocus();
}

void Form4::Label3_Click()
{
    // The label's own text, so what the user sees is exactly what the browser is given.
    m_browser.openUrl(m_address->text());
}
