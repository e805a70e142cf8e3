#include "platform/wx_text.h"

#include "platform/cp932.h"
#include "res/strings.h"

wxString WxFromCp932(const std::string& cp932)
{
    std::string utf8;
    if (!Cp932ToUtf8(cp932, utf8))
        return wxString();
    return wxString::FromUTF8(utf8);
}

wxString WxFromUtf8(const std::string& utf8)
{
    return wxString::FromUTF8(utf8);
}

wxString WxResText(UINT nID)
{
    return wxString::FromUTF8(LoadResStringUtf8(nID));
}
