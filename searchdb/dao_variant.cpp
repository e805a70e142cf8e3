#include "searchdb/dao.h"

#include "searchdb/dao_file.h"

COleVariant COleVariant::FromText(const std::string& cp932)
{
    return FromUtf8(dao::TextToUtf8(cp932));
}

COleVariant COleVariant::FromUtf8(std::string utf8)
{
    COleVariant v;
    v.kind = Kind::Text;
    v.bytes = std::move(utf8);
    return v;
}

std::string COleVariant::Text() const
{
    return dao::TextToCp932(bytes);
}

COleVariant COleVariant::FromInteger(std::int64_t value)
{
    COleVariant v;
    v.kind = Kind::Integer;
    v.integer = value;
    return v;
}
