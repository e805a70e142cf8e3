// Cases that depend on permissions. Root writes read-only files and enters
// every folder, so as root such a case runs again in a child process as the
// unprivileged user "nobody" (setpriv), with a home, runtime and temporary
// folder of its own and the X server's cookie copied where it can read it.
#pragma once

#include <string>
#include <vector>

// Whether the caller is to run the case's body now: true in a process that
// is not root. As root it runs the current test as nobody, fails the test
// when that run fails, and returns false. extraEnv: "NAME=value" entries for
// the child; files it must reach lie in folders nobody can enter.
bool RunsUnprivileged(const std::vector<std::string>& extraEnv = {});
