// The subcommands. Each takes its own arguments and returns the process's
// exit status (output.h); each prints its own --help.
#pragma once

#include "options.h"
#include "session.h"

namespace vksctl {

int CmdDevices(Context& context, Args& args);
int CmdPlay(Context& context, Args& args);
int CmdEncode(Context& context, Args& args);
int CmdDiscover(Context& context, Args& args);
int CmdHealth(Context& context, Args& args);
int CmdNet(Context& context, Args& args);
int CmdParam(Context& context, Args& args);
int CmdEvents(Context& context, Args& args);
int CmdExporter(Context& context, Args& args);

}  // namespace vksctl
