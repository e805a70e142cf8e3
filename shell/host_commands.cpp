#include "shell/host_commands.h"

#include <functional>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "settings/host_object.h"

namespace {

// Creates progId's object and hands it to call. A creation that fails shows
// createFailed; an error raised by the call shows callFailed (both UTF-8).
void CallHostObject(const char* progId, const char* createFailed, const char* callFailed,
                    const std::function<void(HostObjectPtr&)>& call)
{
    HostObjectPtr object;
    try {
        if (FAILED(CreateHostObject(progId, object)) || !object) {
            AfxMessageBox(FromUtf8(createFailed), MB_OK);
            return;
        }
        call(object);
        object.Release();
    } catch (const _com_error&) {
        object.Release();
        AfxMessageBox(FromUtf8(callFailed), MB_OK);
    }
}

} // namespace

void LaunchHostHelp()
{
    CallHostObject(kQuickLaunchObjectProgId, "QuickLaunchObjectの作成に失敗した", "ヘルプの表示 に失敗した。",
                   [](HostObjectPtr& object) { object.LaunchProgram("Pellvane", nullptr); });
}

void ShowHostAboutBox(long hwndMain, long hInstance)
{
    CallHostObject(kAboutDialogObjectProgId, "AboutDialogObjectの作成に失敗した", "バージョン情報の表示 に失敗した",
                   [=](HostObjectPtr& object) { object.ShowAboutBox(hwndMain, hInstance); });
}
