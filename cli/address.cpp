#include "cli/command.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "address/address_data.h"
#include "platform/file_copy.h"
#include "address/path_functions.h"
#include "cli/console.h"
#include "guide/genre_lists.h"
#include "guide/genre_rows.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"

namespace cli {

// The address page's Apply without its question: the in-use test, the size
// of the source, the room check and the whole-file replacement.
int Command::CopyAddressFile(const std::string& sourceFile)
{
    const std::string installed = m_paths.AddressDest();
    if (FileExists(installed)) {
        CDaoDatabase* pDb = m_db.OpenDatabase(installed, FileIsWritable(installed) ? FALSE : TRUE);
        const bool open = pDb && pDb->IsOpen();
        m_db.CloseDatabase(pDb);
        if (!open)
            return 1;
    }
    const std::string source = AddBackslash(m_paths.addressSourceDir) + sourceFile;
    std::uint64_t size = 0;
    if (!GetFileSize(source, size)) {
        ShowMessage(IDS_FILE_NOT_FOUND, source);
        return 1;
    }
    if (!HasRoom(m_paths.addressDestDir, size))
        return 1;
    m_progress.Begin(LoadResString(IDS_INSTALLING), "bytes");
    std::string error;
    const CopyResult result = InstallFileCopy(
        source, m_paths.addressDestDir, m_paths.addressFile,
        [this](std::uint64_t done, std::uint64_t total) {
            m_progress.Show(done, total);
            return !Interrupted();
        },
        error);
    m_progress.End();
    switch (result) {
    case CopyResult::Done:
        m_changed = true;
        return 0;
    case CopyResult::Cancelled:
        ShowMessage(IDS_COPY_CANCELLED, installed);
        return 1;
    case CopyResult::Failed:
        break;
    }
    ShowMessage(IDS_INSTALL_FAILED);
    if (!error.empty())
        std::fprintf(stderr, "%s\n", ToUtf8(error).c_str());
    return 1;
}

int Command::InstallAddress()
{
    const bool detailed = m_o.operands[0] == "detailed";
    const std::string file = detailed ? m_paths.detailedFile : m_paths.standardFile;
    const std::string source = AddBackslash(m_paths.addressSourceDir) + file;
    if (!FileExists(source)) {
        ShowMessage(IDS_FILE_NOT_FOUND, source);
        return 1;
    }
    const int level = GetAddressDataLevel(m_paths.addressSourceDir, kAddressData, file);
    if (level == 0) {
        ShowMessage(IDS_NOT_PRODUCT_DATA, source);
        return 1;
    }
    m_json.Str("file", ToUtf8(source)).Num("level", level);
    int status = 0;
    if (GetAddressDataLevel(m_paths.addressDestDir, kAddressData, m_paths.addressFile) == level) {
        Note(IDS_FILE_ALREADY_INSTALLED, source);
    } else {
        status = CopyAddressFile(file);
        if (status == 0)
            Note(IDS_FILE_INSTALLED, source);
    }
    SaveAddressPaths();
    return status;
}

std::string Command::CdAddressFileOfLevel(int level)
{
    for (const std::string& file : {m_paths.detailedFile, m_paths.standardFile})
        if (GetAddressDataLevel(m_paths.addressSourceDir, kAddressData, file) == level)
            return file;
    return std::string();
}

} // namespace cli
