#pragma once
// `wrenlocator --headless`: the main frame's monitoring on a Qt event loop
// without windows (options in HeadlessOptions.h).

#include <iosfwd>
#include <string>
#include <vector>

#include "program/StackFactory.h"

namespace wren {

class StopSignals;

// `args` without the program name; the stack comes from `stacks`. Returns
// the exit status: 0 done, 1 the scenario could not be read, 2 bad usage or
// a stack this build lacks. SIGINT and SIGTERM, handled by `stop` from
// before this is called, end the run.
int RunHeadless(const std::vector<std::string>& args, const StackFactory& stacks, std::ostream& out,
                std::ostream& err, StopSignals& stop);

}  // namespace wren
