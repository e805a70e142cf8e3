// The commands of pellvane-cli, on the installer's own code. Each returns
// the exit status: 0 done, 1 failed.
#pragma once

#include <string>
#include <vector>

class Json;

struct CliOptions {
    std::string command;
    std::vector<std::string> operands; // UTF-8
    bool all = false;
    bool json = false;
    bool quiet = false;
    bool ignoreSpace = false;
    std::string cd; // CP932 folder; "" takes the registry's
    std::string hd;
};

// Runs options.command; adds what it found and did to json (an open
// object) and sets changed; text is what status shows a person.
int RunCommand(const CliOptions& options, Json& json, bool& changed, std::string& text);
