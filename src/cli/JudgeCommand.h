#pragma once

#include "CliCommand.h"
#include "ListenAddress.h"

#include <QEventLoop>

class Console;

// `varnholt-cli judge`: a proxy judge of one's own, for checks that cannot be fooled. It prints
// its address as the first line of standard output and serves until a stop signal, its normal
// end.
class JudgeCommand final : public CliCommand
{
public:
    explicit JudgeCommand(Console& console);

    QString name() const override;
    QString synopsis() const override;
    QString help() const override;
    QList<QCommandLineOption> options() const override { return {m_listen}; }
    std::optional<QString> read(const QCommandLineParser& parsed) override;
    int run() override;
    void interrupt() override;

    const ListenAddress& listenAddress() const { return m_address; }

private:
    const QCommandLineOption m_listen{QStringLiteral("listen"), {}, QStringLiteral("HOST:PORT")};
    Console& m_console;
    ListenAddress m_address{QHostAddress(QHostAddress::LocalHost), 0};
    QEventLoop m_loop;
};
