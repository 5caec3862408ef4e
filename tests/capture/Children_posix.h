// The children of the capture test: the test binary acts out one behaviour
// when started as "<self> --child <behaviour> ...": write given bytes, exit
// with a code, leave a grandchild holding its output, wait for a signal, or
// play the window process the supervisor starts.
#pragma once

#include <chrono>
#include <string>

// Acts out the behaviour argv[2] names, with its parameters from argv[3] on;
// returns the exit status.
int RunChild(int argc, char** argv);

// Creates an empty file, as a child's sign that it got somewhere.
void Touch(const char* path);

// Waits until the file exists, as a child's sign that it is ready.
bool AppearsWithin(const std::string& path, std::chrono::seconds limit);
