// Names the program holds as Shift_JIS: the program folder and its own
// arguments. One without a Shift_JIS form would name another file, so the
// program says so and stops rather than end with no word.
#pragma once

// True when every name has a Shift_JIS form. Otherwise the name is reported
// on standard error and in the mail log beside the executable, and false.
bool CheckNamesHaveCp932Form(int argc, char* argv[]);
