// What the program sets up before and after the toolkit starts: the platform
// (a display when there is one, the offscreen platform otherwise or when the
// display cannot be opened), pixel geometry at any screen resolution, and a
// standard error free of the toolkit's own notes.
#pragma once

// Before the application object. Returns true when a display was asked for.
bool PrepareToolkit();
// After it: a display that was asked for but could not be opened is said on standard error.
void NoteDisplayFallback(bool displayWanted);
