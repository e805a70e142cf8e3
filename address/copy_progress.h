// The copy's own progress window: a bar and a cancel button in front of
// InstallFileCopy. Errors of the copy are reported here, in a message box.
#pragma once

#include <functional>
#include <string>

#include "platform/file_copy.h"
#include "platform/win_types.h"

class wxWindow;
class wxProgressDialog;

// Copies sourceCp932 into destFolderCp932 as targetNameCp932 (see
// InstallFileCopy) with a progress window titled titleCp932. TRUE only when
// the new file is in place.
BOOL CopyFileWithProgress(wxWindow* owner, const std::string& sourceCp932, const std::string& destFolderCp932,
                          const std::string& targetNameCp932, const std::string& titleCp932,
                          const CopyOptions& options = CopyOptions());

// Called with the progress window after each update; tests press its buttons
// through it. Returns the previous hook.
using ProgressWindowHook = std::function<void(wxProgressDialog&)>;
ProgressWindowHook SetProgressWindowHook(ProgressWindowHook hook);
