#include "Form3.h"

#include "Controls.h"
#include "PlainText.h"
#include "ProxyTable.h"
#include "SelectedProxyText.h"
#include "Twips.h"

#include <QPlainTextEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

Form3::Form3(const ProxyTable& table, QWidget* parent)
    : QDialog(parent, ToolWindowFlags)
{
    SetUpToolWindow(*this, u"Selected Proxy Information"_s, TwipsSize(4695, 2250));

    auto* text = new QPlainTextEdit(this);
    text->setObjectName(u"Text1"_s);
    text->setAccessibleName(u"Selected proxy"_s);
    text->setGeometry(TwipsRect(120, 120, 4455, 1575));
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // long lines wrap instead
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setPlainText(DisplayText(SelectedProxyText(table.selectedEntry())));

    QPushButton* close = MakeButton(this, u"Command1"_s, u"&Close"_s, TwipsRect(3240, 1800, 1335, 375));
    connect(close, &QPushButton::clicked, this, &Form3::accept);

    setTabOrder(text, close);
    text->setFocus();
}
