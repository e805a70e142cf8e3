# The windows talk to GTK and ATK directly where wxWidgets has no call for it
# (accessible names, the message box's announcement).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PELLVANE_GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
target_link_libraries(pellvane_ui PUBLIC PkgConfig::PELLVANE_GTK3)
