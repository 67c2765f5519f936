#include "VarnholtCommands.h"

#include "CheckCommand.h"
#include "HarvestCommand.h"
#include "JudgeCommand.h"
#include "PingReport.h"
#include "ServeCommand.h"
#include "WhoisCommand.h"

std::vector<std::unique_ptr<CliCommand>> VarnholtCommands(Console& console, const CliServices& services)
{
    std::vector<std::unique_ptr<CliCommand>> commands;
    commands.push_back(std::make_unique<HarvestCommand>(console, services.fetcher, services.yielder));
    commands.push_back(std::make_unique<CheckCommand>(console, services.fetcher));
    commands.push_back(std::make_unique<JudgeCommand>(console));
    commands.push_back(std::make_unique<ServeCommand>(console, services.fetcher));
    commands.push_back(std::make_unique<WhoisCommand>(console));
    commands.push_back(std::make_unique<PingReport>(console, services.icmp, services.sockets));
    return commands;
}
