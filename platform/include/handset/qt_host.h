// What every program of the device does before it makes its Qt application
// (the window layer, the UI framework, the Today screen, the help viewer and
// the imaging factory all do it).
#pragma once

namespace handset {

// Chooses the offscreen platform when there is no display, and sends Qt's own
// messages (its platform plug-in's warnings, its notes on paths and fonts) to
// the device log, channel "qt": a terminal shows only what its user asked
// for, and the log keeps what Qt had to say. A fatal message is also written
// to standard error, since the program ends with it. Safe to call more than
// once.
void prepareQt();

}  // namespace handset
