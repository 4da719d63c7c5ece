// Ctrl-C and SIGTERM during a long run: the first one asks the run to stop
// after the frames in flight (which then leave no temporary files behind);
// a second one ends the process at once.
#pragma once

namespace vokri_tool {

// Installs the handlers for SIGINT and SIGTERM, and ignores SIGPIPE so that
// writes to a child that died fail with EPIPE instead of killing the tool.
void install_interrupt_handlers();

// The signal that asked to stop, or 0.
int interrupt_signal();

}  // namespace vokri_tool
