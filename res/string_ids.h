// Entries of the string table that more than one part of the program uses:
// the guide data messages the window and the command line both show, and a
// statement both the genre lists and the genre rows read with.
#pragma once

#include "platform/win_types.h"

// Messages about guide data.
const UINT IDS_SAME_FOLDERS = 2010;
const UINT IDS_LOW_SPACE = 2020;
const UINT IDS_OPTIMISED = 2024;
const UINT IDS_NOT_GUIDE_DATA = 2025;
const UINT IDS_INSTALLING = 2027;
const UINT IDS_INSTALLING_GENRE = 2028;
const UINT IDS_INSTALL_FAILED = 2031;
const UINT IDS_FILE_NOT_FOUND = 2032;
const UINT IDS_REMOVE_FAILED = 2033;
const UINT IDS_REMOVING_GENRE = 2035;
const UINT IDS_OPTIMISE_FAILED = 2037;
const UINT IDS_ALREADY_INSTALLED = 2038;
const UINT IDS_NAME_NOT_USABLE = 2061;

// The installed genres' rows.
const UINT IDS_SQL_GENRE_ROWS = 13020;
