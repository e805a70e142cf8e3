// The folder dialog the pages share.
#pragma once

#include <string>

class wxWindow;

// Shows the folder dialog, opened on startFolderCp932, with titleCp932 as its
// message. Returns the chosen folder (CP932), or "" when the user cancels. A
// folder whose name has no CP932 form is refused with a message and gives "".
std::string BrowseForFolder(wxWindow* owner, const std::string& titleCp932, const std::string& startFolderCp932);
