#include "ProcessTable.h"

namespace platform {
namespace {

class SystemProcessTable : public ProcessTable
{
public:
    QList<ProcessEntry> processes() const override { return runningProcesses(); }
    std::optional<ProcessCommand> command(qint64 pid) const override { return processCommand(pid); }
    std::unique_ptr<HeldProcess> hold(const ProcessEntry& process) const override
    {
        return holdProcess(process);
    }
};

} // namespace

const ProcessTable& ProcessTable::system()
{
    static const SystemProcessTable table;
    return table;
}

} // namespace platform
