// The user's state folder for the running program, where files the library
// creates beside the program go when that folder refuses them.
#pragma once

#include <string>

namespace zavplatform {

// The running program's file name (its first argument's when the system
// does not tell the file).
std::string ProgramName();

// $XDG_STATE_HOME/<program>/, or ~/.local/state/<program>/ when that is
// unset or not absolute, made as needed (mode 0700 for each folder made
// here), with its closing '/'; empty with errno set when it cannot be made.
std::string StateFolder();

// The same file name in the state folder; empty when there is none.
std::string InStateFolder(const std::string& refusedPath);

}  // namespace zavplatform
