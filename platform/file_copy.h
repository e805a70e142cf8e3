// Installing a copy of a file under a given name: the data goes into a
// temporary file beside the target, is flushed to disk, and only then takes
// the target's name in one rename. Whatever happens, the target is either
// the old file or the complete new one, and no partial file is left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Bytes copied so far and the total; returning false cancels the copy.
using CopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

enum class CopyResult { Done, Cancelled, Failed };

struct CopyOptions {
    // Bytes moved between two progress reports.
    std::size_t chunkBytes = 4u << 20;
    // Whether the kernel may copy in place (copy_file_range); off, the data
    // goes through a buffer of ours.
    bool allowKernelCopy = true;
};

// Copies sourceCp932 into destFolderCp932 (made, with its parents, when
// missing) as targetNameCp932, replacing a file of that name, read-only or
// not. Temporaries of an earlier run that was killed are removed first. On
// failure errorCp932 describes it for the user; a cancel leaves it empty.
CopyResult InstallFileCopy(const std::string& sourceCp932, const std::string& destFolderCp932,
                           const std::string& targetNameCp932, const CopyProgress& progress,
                           std::string& errorCp932, const CopyOptions& options = CopyOptions());

// The temporaries of a target are named "." + target + ".pellvane-" and six
// letters or digits.
std::string TemporaryNamePrefix(const std::string& targetName);
bool IsTemporaryNameOf(const std::string& name, const std::string& targetName);
