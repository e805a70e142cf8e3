#include "platform/message_box.h"

#include <cstdio>
#include <utility>

#include "platform/cp932.h"
#include "res/strings.h"

namespace {

// Without a display there is nobody to answer: print the text and decline.
int DefaultHandler(const std::string& textUtf8, UINT type)
{
    std::fprintf(stderr, "%s\n", textUtf8.c_str());
    return (type & MB_YESNO) ? IDNO : IDOK;
}

MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler = DefaultHandler;
    return handler;
}

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    if (!handler)
        handler = DefaultHandler;
    return std::exchange(Handler(), std::move(handler));
}

int AfxMessageBox(const std::string& textCp932, UINT type)
{
    std::string utf8;
    if (!Cp932ToUtf8(textCp932, utf8))
        utf8 = "?";
    return Handler()(utf8, type);
}

int MessageBoxUtf8(const std::string& textUtf8, UINT type)
{
    return Handler()(textUtf8, type);
}

int AfxMessageBox(UINT nID, UINT type)
{
    return AfxMessageBox(LoadResString(nID), type);
}
