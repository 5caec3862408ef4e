// The children of the Windows tests. Each test binary is its own child:
// "<self> --child <behaviour> [+ <behaviour> ...]" acts out the behaviours
// in order (what each writes, reads, waits for or starts is in
// Children_win32.cpp), so that one child can do what several cases need.
#pragma once

#include <string>

// Acts out the behaviours after argv[1] (which is --child); returns the
// child's exit status.
int RunChild(int argc, char** argv);

// The command line that starts this binary as a child with the behaviours.
std::string ChildLine(const std::string& behaviours);

// The path of this binary.
std::string SelfPath();

// Milliseconds on the one clock that every process reads alike.
long long NowMs();

// A path in the temporary folder, made unique to this process.
std::string TempPath(const char* name);

bool Exists(const std::string& path);
