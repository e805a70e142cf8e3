#include "address/address_data.h"

#include "address/path_functions.h"
#include "searchdb/search_db.h"

int GetAddressDataLevel(const std::string& folder, const std::string& kind, const std::string& fileName)
{
    const std::string file = AddBackslash(folder) + fileName;
    if (!FileExists(file))
        return 0;
    return CSearchDb().GetProductDataLevel(file, kind);
}
