#pragma once

// Sets what the window and emlx2eml both do on signals, first thing in main: past a file-size
// limit a write fails and is reported (SIGXFSZ ignored) instead of ending the program. Each
// program keeps its own handlers for being asked to stop.
void setSharedSignalDispositions();
