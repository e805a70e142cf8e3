// The classes the sample host component serves, shared by the component
// and the tool that registers it.
#pragma once

struct SampleHostClass {
    const char* progId;
    const char* clsid;
    const char* description;
};

inline constexpr SampleHostClass kSampleFolderClass = {
    "Qor.Tessra.TessraFolderObject.5", "{47070621-C87F-403C-9FA2-C79F8197E67A}", "TessraFolderObject Class"};
inline constexpr SampleHostClass kSampleQuickLaunchClass = {
    "Qor.Tessra.QuickLaunchObject.5", "{E29CB307-7EA6-4C73-B105-DC2E43AA6EB9}", "QuickLaunchObject Class"};
inline constexpr SampleHostClass kSampleAboutDialogClass = {
    "Qor.Tessra.AboutDialogObject.5", "{6338B417-2F6C-4A19-ACE4-62C0763B2C5E}", "AboutDialogObject Class"};

inline constexpr SampleHostClass kSampleHostClasses[] = {
    kSampleFolderClass, kSampleQuickLaunchClass, kSampleAboutDialogClass};

// The component's file name in the build's (and an installation's) lib folder.
inline constexpr const char kSampleHostLibraryName[] = "libtessra-sample-host.so";
