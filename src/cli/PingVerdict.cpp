#include "PingVerdict.h"

#include "Console.h"
#include "ExitStatus.h"
#include "MessagePrompter.h"
#include "PingCommand.h"
#include "ProxyTable.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The ping's last message is its verdict; each one before it is told as it is replaced.
class VerdictPrompter final : public MessagePrompter
{
public:
    explicit VerdictPrompter(Console& console)
        : m_console(console)
    {
    }

    void showMessage(const QString& text, MessageStyle style, const QString&) override
    {
        if (m_last)
            m_console.tell(m_last->text);
        m_last = Message{text, style};
    }

    struct Message
    {
        QString text;
        MessageStyle style = MessageStyle::Plain;
    };
    const std::optional<Message>& last() const { return m_last; }

private:
    Console& m_console;
    std::optional<Message> m_last;
};

} // namespace

int RunPing(const PingRequest& request, Console& console, IcmpLibrary& icmp, SocketLibrary& sockets)
{
    ProxyTable table;
    ProxyEntry proxy;
    proxy.ipAddress = request.address;
    table.append(proxy); // the first row of a table is the selected one
    VerdictPrompter prompter(console);
    PingCommand(table, prompter, icmp, sockets).Command6_Click();

    const std::optional<VerdictPrompter::Message>& verdict = prompter.last();
    if (!verdict)
        return ExitStatus::No;
    QString lines = verdict->text;
    lines.replace(u"\r\n"_s, u"\n"_s);
    if (!console.writeOut((lines + u'\n').toUtf8())) {
        console.tell(u"cannot write to standard output: "_s + console.outError());
        return ExitStatus::FileFailure;
    }
    // The verdict's icon is the window's own word for it: information for alive, stop for dead.
    return verdict->style == MessageStyle::Information ? ExitStatus::Done : ExitStatus::No;
}
