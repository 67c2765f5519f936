#include "ShowSelectedProxy.h"

#include "Form3.h"
#include "MessagePrompter.h"
#include "ProxyTable.h"

using namespace Qt::StringLiterals;

void ShowSelectedProxy(const ProxyTable& table, MessagePrompter& messages, QWidget* parent)
{
    if (table.count() == 0) {
        messages.showMessage(u"The List is Empty"_s, MessageStyle::Stop, u"Error"_s);
        return;
    }
    Form3 form(table, parent);
    form.exec();
}
