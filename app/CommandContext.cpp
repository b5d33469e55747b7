#include "CommandContext.h"

#include "Session.h"

CommandContext::Outcome CommandContext::fail(Failures::Kind kind, const BatchCmd& c, const QString& why)
{
    Failures::record(kind, BatchArgs::where(c) + QStringLiteral(": ") + why);
    return Outcome::Ng;
}

bool CommandContext::refusedInUse(const BatchCmd& c, const QString& what)
{
    Session& s = session();
    if (!s.refuseWhileInUse(what))
        return false;
    fail(Failures::Command, c, s.loading ? QStringLiteral("refused while projection images load")
                                         : QStringLiteral("refused while a reconstruction runs"));
    return true;
}

CommandContext::Outcome CommandContext::told(SessionState::Part part)
{
    session().stateSet(part);
    return Outcome::Ok;
}
