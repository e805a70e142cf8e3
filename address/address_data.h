// What the address page knows of an address database in a folder.
#pragma once

#include <string>

// The level of the database fileName in folder: 0 when the file is missing
// or is not data of the given kind of the host product; else the level of
// its Property row (3 standard, 4 detailed; 1, 2 and 5 are possible too).
// Opens the file twice; a file another program holds open counts as 0 after
// message 2039.
int GetAddressDataLevel(const std::string& folder, const std::string& kind, const std::string& fileName);
