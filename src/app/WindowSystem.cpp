#include "WindowSystem.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int NoWindowSystem = 1;

struct HeldMessage
{
    QtMsgType type = QtWarningMsg;
    const char* category = nullptr; // Qt's logging categories are named by string literals
    QString text;
};

// What Qt says while the application object is made: the platforms it tries and why they
// fail, in Qt's words and the platforms' own. A message handler is a plain function, so the
// messages are kept here.
struct StartMessages
{
    std::mutex mutex; // a platform may log from a thread of its own
    QtMessageHandler previous = nullptr;
    std::vector<HeldMessage> held;
};

StartMessages& Messages()
{
    static StartMessages messages;
    return messages;
}

// One reason a platform tried: Qt's word on its plugin, with what the platform itself said
// before it in brackets.
QString Reasons(const std::vector<HeldMessage>& held, const QString& fatal)
{
    QStringList reasons;
    QStringList said;
    for (const HeldMessage& message : held) {
        QString text = message.text.simplified();
        if (text.endsWith(u'.'))
            text.chop(1);
        if (qstrcmp(message.category, "qt.qpa.plugin") != 0) {
            said.append(text);
            continue;
        }
        reasons.append(said.isEmpty() ? text : text + u" ("_s + said.join(u", "_s) + u')');
        said.clear();
    }
    reasons += said;
    return reasons.isEmpty() ? fatal.simplified() : reasons.join(u"; "_s);
}

// Qt reports that no platform could be opened as a fatal message and aborts once the handler
// returns, so the handler ends the program itself.
void HoldStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    StartMessages& messages = Messages();
    const std::lock_guard lock(messages.mutex);
    if (type != QtFatalMsg) {
        messages.held.push_back({type, context.category, text});
        return;
    }
    std::fputs(qPrintable(u"varnholt: cannot open a window: "_s + Reasons(messages.held, text) + u'\n'), stderr);
    std::_Exit(NoWindowSystem);
}

} // namespace

std::unique_ptr<QApplication> OpenWindowSystem(int& argc, char** argv)
{
    StartMessages& messages = Messages();
    messages.previous = qInstallMessageHandler(HoldStartMessages);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(messages.previous);
    const std::lock_guard lock(messages.mutex);
    for (const HeldMessage& message : messages.held)
        messages.previous(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category), message.text);
    messages.held.clear();
    return application;
}
